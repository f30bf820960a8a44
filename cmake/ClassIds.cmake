# The identifiers of the COM server, written here and nowhere else. The interface definition, the code
# (generated ClassId.h), the proxy/stub, the registry scripts (through the registrar's replacements), the MSI
# source and the package manifest are all generated from these at configure time.
set(QV_CLSID "6F41C2A8-93D0-4B7E-8C15-2E9A7D3B5F60")         # the context menu handler, GotoFavorite
set(QV_COMMAND_CLSID "13C32E00-D3AD-409D-A69B-0BE81C4DAC57") # Windows 11's first-level menu (IExplorerCommand)
set(QV_APPID "A3E5B7C9-1D2F-4A6B-9C8E-7F0D1B2C3E4A")         # the AppID the handler's class names
set(QV_PROXY_CLSID "C9FD8392-C0B9-4AF0-8330-09594D0DCC66")   # the proxy/stub factory of IGotoFavorite
set(QV_INTERFACE_ID "6206B70C-262C-47A1-8772-D3E656ECDA97")  # IGotoFavorite
set(QV_TYPELIB_ID "0B3C9988-6D4E-4C79-B4FA-8E59022FE23D")    # the type library QuelvarLib

# qv_guid_initializer(<variable> <guid>): <variable> = the GUID as a C initializer {0x..., 0x..., 0x..., {...}}.
function(qv_guid_initializer variable guid)
  string(REPLACE "-" "" hex "${guid}")
  string(SUBSTRING "${hex}" 0 8 data1)
  string(SUBSTRING "${hex}" 8 4 data2)
  string(SUBSTRING "${hex}" 12 4 data3)
  set(data4 "")
  foreach(offset RANGE 16 30 2)
    string(SUBSTRING "${hex}" ${offset} 2 byte)
    list(APPEND data4 "0x${byte}")
  endforeach()
  list(JOIN data4 ", " data4)
  set(${variable} "{0x${data1}, 0x${data2}, 0x${data3}, {${data4}}}" PARENT_SCOPE)
endfunction()

# CMake's regular expressions have no counted repetition.
string(REPEAT "[0-9A-F]" 4 qv_hex4)
set(qv_guid_pattern "^${qv_hex4}${qv_hex4}-${qv_hex4}-${qv_hex4}-${qv_hex4}-${qv_hex4}${qv_hex4}${qv_hex4}$")
foreach(qv_id CLSID COMMAND_CLSID APPID PROXY_CLSID INTERFACE_ID TYPELIB_ID)
  if(NOT QV_${qv_id} MATCHES "${qv_guid_pattern}")
    message(FATAL_ERROR "QV_${qv_id} is not a GUID in upper case without braces: ${QV_${qv_id}}")
  endif()
endforeach()
qv_guid_initializer(QV_COMMAND_CLSID_INIT "${QV_COMMAND_CLSID}")
qv_guid_initializer(QV_PROXY_CLSID_INIT "${QV_PROXY_CLSID}")
