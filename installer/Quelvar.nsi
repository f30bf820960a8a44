; The Windows installer: Quelvar.dll (64-bit and 32-bit), the help manual, the release history and qvsum.exe,
; registered for all users (administrator rights) or for the signed-in user alone (no elevation), with an
; entry in "Programs and Features" and an uninstaller that takes all of it away again. The user's data
; folder (Data.qvd, its damaged copies, history.txt) stays untouched unless the user asks for it to go.
;
; makensis -DVERSION=x.y.z.w -DBIN64=<64-bit bin folder> -DBIN32=<32-bit bin folder> -DOUTFILE=<setup.exe>
;          -DASSETS=<the package's logos> -DPACKAGE_FAMILY=<the package's family name>
;
; Command line: /S silent; /ALLUSERS or /CURRENTUSER choose the scope without asking (silent default: all
; users when the account is an administrator, else the current user); /D=<folder> (last) installs there
; instead of the scope's default folder; the uninstaller takes /S and /REMOVEDATA (also delete what
; Quelvar wrote into the user's data folder %APPDATA%\Quelvar). Both append what they did to
; %TEMP%\Quelvar-Setup.log, so that a silent run leaves a record too.
Unicode true
ManifestDPIAware true
SetCompressor /SOLID lzma
RequestExecutionLevel user

!include LogicLib.nsh
!include nsDialogs.nsh
!include FileFunc.nsh
!include x64.nsh
!include WinVer.nsh
!include MUI2.nsh

!define PRODUCT "Quelvar"
!define PUBLISHER "Quelvar"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Quelvar"
; The identity name of the sparse package Quelvar.msix (its AppxManifest.xml).
!define PACKAGE_NAME "Quelvar.ContextMenu"

Name "${PRODUCT} ${VERSION}"
OutFile "${OUTFILE}"
; Authenticode: SIGN is a command that signs the file named after it (the build passes its own).
!ifdef SIGN
!finalize '${SIGN} "%1"'
!uninstfinalize '${SIGN} "%1"'
!endif
BrandingText "${PRODUCT} ${VERSION}"
VIProductVersion "${VERSION}"
VIAddVersionKey "ProductName" "${PRODUCT}"
VIAddVersionKey "CompanyName" "${PUBLISHER}"
VIAddVersionKey "FileDescription" "${PRODUCT} setup"
VIAddVersionKey "FileVersion" "${VERSION}"
VIAddVersionKey "ProductVersion" "${VERSION}"
VIAddVersionKey "LegalCopyright" "Copyright (C) Quelvar"

Var AllUsers        ; 1: for all users, 0: for me only
Var Folder32        ; where the 32-bit module goes
Var ScopeAll
Var ScopeMe
Var RemoveData
Var RemoveDataBox
Var ChosenFolder    ; the folder given with /D=, kept whatever the scope
Var FinishText      ; what the finish page says
Var PackageAdded    ; 1 when the Windows 11 package was registered: Explorer must restart to show it

!define MUI_ABORTWARNING
Page custom ScopePage ScopePageLeave
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!define MUI_FINISHPAGE_TEXT "$FinishText"
!insertmacro MUI_PAGE_FINISH
UninstPage custom un.DataPage un.DataPageLeave
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"

; Tests build a setup with STANDIN_ACCOUNT_TYPE and STANDIN_NATIVE_MACHINE to take the branches that only
; a user without administrator rights or ARM64 Windows takes: Wine reports an administrator on x64.
!macro IsAdministrator result
    !ifdef STANDIN_ACCOUNT_TYPE
        Push "${STANDIN_ACCOUNT_TYPE}"
    !else
        UserInfo::GetAccountType
    !endif
    Pop ${result}
    ${If} ${result} == "Admin"
        StrCpy ${result} 1
    ${Else}
        StrCpy ${result} 0
    ${EndIf}
!macroend

; Chooses the folders for the scope in $AllUsers.
Function SetScopeFolders
    ${If} $AllUsers == 1
        SetShellVarContext all
        ${If} ${RunningX64}
            StrCpy $INSTDIR "$PROGRAMFILES64\${PRODUCT}"
        ${Else}
            StrCpy $INSTDIR "$PROGRAMFILES\${PRODUCT}"
        ${EndIf}
    ${Else}
        SetShellVarContext current
        StrCpy $INSTDIR "$LOCALAPPDATA\Programs\${PRODUCT}"
    ${EndIf}
    ${If} $ChosenFolder != ""
        StrCpy $INSTDIR $ChosenFolder
    ${EndIf}
FunctionEnd

; Appends a line to the setup log and shows it in the details.
!macro Log text
    DetailPrint "${text}"
    Push "${text}"
    Call ${UN}AppendToLog
!macroend
!macro AppendToLogFunction un
Function ${un}AppendToLog
    Exch $R9
    Push $R8
    ClearErrors
    FileOpen $R8 "$TEMP\Quelvar-Setup.log" a
    ${IfNot} ${Errors}
        FileSeek $R8 0 END
        FileWriteUTF16LE $R8 "$R9$\r$\n"
        FileClose $R8
    ${EndIf}
    Pop $R8
    Pop $R9
FunctionEnd
!macroend
!define UN ""
!insertmacro AppendToLogFunction ""
!insertmacro AppendToLogFunction "un."

Function .onInit
    ; File Explorer on ARM64 Windows is an ARM64 process: it cannot load the x64 module, neither the
    ; classic handler nor the Windows 11 command, so a menu installed there would never appear.
    !ifdef STANDIN_NATIVE_MACHINE
        StrCpy $0 ${STANDIN_NATIVE_MACHINE}
    !else
        ${GetNativeMachineArchitecture} $0
    !endif
    ${If} $0 == 43620  ; IMAGE_FILE_MACHINE_ARM64
        MessageBox MB_ICONSTOP "${PRODUCT} cannot be installed on this computer: File Explorer on ARM64 Windows cannot load ${PRODUCT}, so its menu would never appear. Nothing was installed." /SD IDOK
        Push "${VERSION}: not installed: ARM64 Windows, whose File Explorer cannot load ${PRODUCT}"
        Call AppendToLog
        SetErrorLevel 2
        Quit
    ${EndIf}
    StrCpy $ChosenFolder $INSTDIR
    ${GetParameters} $0
    !insertmacro IsAdministrator $1
    StrCpy $AllUsers $1
    ClearErrors
    ${GetOptions} $0 "/ALLUSERS" $2
    ${IfNot} ${Errors}
        StrCpy $AllUsers 1
    ${EndIf}
    ClearErrors
    ${GetOptions} $0 "/CURRENTUSER" $2
    ${IfNot} ${Errors}
        StrCpy $AllUsers 0
    ${EndIf}
    Call SetScopeFolders
FunctionEnd

Function ScopePage
    !insertmacro MUI_HEADER_TEXT "Choose who uses ${PRODUCT}" "Install for all users of this computer or for you alone."
    nsDialogs::Create 1018
    Pop $0
    ${NSD_CreateRadioButton} 0 10u 100% 12u "For &all users of this computer (needs administrator rights)"
    Pop $ScopeAll
    ${NSD_CreateRadioButton} 0 30u 100% 12u "For &me only (no administrator rights needed)"
    Pop $ScopeMe
    ${If} $AllUsers == 1
        ${NSD_Check} $ScopeAll
    ${Else}
        ${NSD_Check} $ScopeMe
    ${EndIf}
    nsDialogs::Show
FunctionEnd

Function ScopePageLeave
    ${NSD_GetState} $ScopeAll $0
    ${If} $0 == ${BST_CHECKED}
        !insertmacro IsAdministrator $1
        ${If} $1 != 1
            ; Ask for elevation by starting this installer again with administrator rights.
            HideWindow
            ExecShell "runas" "$EXEPATH" "/ALLUSERS"
            Quit
        ${EndIf}
        StrCpy $AllUsers 1
    ${Else}
        StrCpy $AllUsers 0
    ${EndIf}
    Call SetScopeFolders
FunctionEnd

; regsvr32 of the given bitness registers (or with "/u" unregisters) a module, per user with "/n /i:user".
!macro Regsvr32 regsvr32 arguments module
    ExecWait '"${regsvr32}" /s ${arguments} "${module}"' $0
    ${If} $0 != 0
        DetailPrint "regsvr32 ${arguments} ${module} failed ($0)"
        SetErrors
    ${EndIf}
!macroend

; Runs one step of the Windows 11 package's registration in the native PowerShell (a 32-bit setup would
; otherwise start the 32-bit one), with the install folder in $env:QUELVAR_FOLDER, so that no path is ever
; written into the command: an apostrophe, a dollar sign or a bracket in a folder name cannot change it.
; The command goes in a backquoted string because it holds both kinds of quotation mark; commands hold no
; double quotation mark and no backquote. What PowerShell answered goes to the log; a failure only there:
; the classic menu under "Show more options" works without the package.
!macro PowerShell step command
    System::Call 'Kernel32::SetEnvironmentVariable(t "QUELVAR_FOLDER", t "$INSTDIR")i'
    nsExec::ExecToStack `"$WINDIR\sysnative\WindowsPowerShell\v1.0\powershell.exe" -NoProfile -NonInteractive -ExecutionPolicy Bypass -Command "$$ErrorActionPreference = 'Stop'; ${command}"`
    Pop $0
    Pop $1
    ${If} $0 == 0
        !insertmacro Log "Windows 11 package: ${step}: done"
    ${Else}
        !insertmacro Log "Windows 11 package: ${step}: failed ($0): $1"
        StrCpy $R7 1
    ${EndIf}
!macroend

; The steps. Registering a version that is registered already fails (0x80073CF9), and one registered
; for another folder or scope would keep pointing there: every registration removes the earlier one.
!define PS_PACKAGE_FILE "(Join-Path $$env:QUELVAR_FOLDER 'Quelvar.msix')"
!define PS_REMOVE_FOR_USER "Get-AppxPackage -Name '${PACKAGE_NAME}' | Remove-AppxPackage"
!define PS_ADD_FOR_USER "Add-AppxPackage -Path ${PS_PACKAGE_FILE} -ExternalLocation $$env:QUELVAR_FOLDER"
; For all users: Add-AppxPackage alone would register the package only for the account that runs the
; setup, which may be an administrator who is not the signed-in user. The package is staged with its
; external location and then provisioned, so that every user, present and future, gets it.
!define PS_REMOVE_PROVISIONED "Get-AppxProvisionedPackage -Online | Where-Object DisplayName -EQ '${PACKAGE_NAME}' | Remove-AppxProvisionedPackage -Online"
!define PS_REMOVE_FOR_ALL "Get-AppxPackage -AllUsers -Name '${PACKAGE_NAME}' | Remove-AppxPackage -AllUsers"
!define PS_STAGE "Add-AppxPackage -Path ${PS_PACKAGE_FILE} -ExternalLocation $$env:QUELVAR_FOLDER -Stage"
; No cmdlet provisions a staged package: PackageManager does, asynchronously; AsTask waits for it and
; turns a failed deployment into an error.
!define PS_PROVISION "Add-Type -AssemblyName System.Runtime.WindowsRuntime; $$manager = [Windows.Management.Deployment.PackageManager, Windows.Management.Deployment, ContentType = WindowsRuntime]::new(); $$asTask = [System.WindowsRuntimeSystemExtensions].GetMethods() | Where-Object { $$_.Name -eq 'AsTask' -and $$_.GetParameters().Count -eq 1 -and $$_.GetGenericArguments().Count -eq 2 } | Select-Object -First 1; $$operation = $$manager.ProvisionPackageForAllUsersAsync('${PACKAGE_FAMILY}'); $$task = $$asTask.MakeGenericMethod([Windows.Management.Deployment.DeploymentResult], [Windows.Management.Deployment.DeploymentProgress]).Invoke($$null, @($$operation)); $$result = $$task.GetAwaiter().GetResult(); if ($$result.ExtendedErrorCode) { throw $$result.ErrorText }"

; Windows 11 (build 22000 or later) shows the first-level entry only for a package with identity; earlier
; Windows has no use for it. The 32-bit system has no 64-bit Explorer to load it.
!macro IfWindows11Package
    ${If} ${RunningX64}
    ${AndIf} ${AtLeastBuild} 22000
!macroend

!macro WriteUninstallEntry root
    WriteRegStr ${root} "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
    WriteRegStr ${root} "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
    WriteRegStr ${root} "${UNINSTALL_KEY}" "Publisher" "${PUBLISHER}"
    WriteRegStr ${root} "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\Uninstall.exe"
    WriteRegStr ${root} "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
    WriteRegStr ${root} "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\Uninstall.exe"'
    WriteRegStr ${root} "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\Uninstall.exe" /S'
    WriteRegStr ${root} "${UNINSTALL_KEY}" "HelpLink" "$INSTDIR\Quelvar.chm"
    WriteRegDWORD ${root} "${UNINSTALL_KEY}" "NoModify" 1
    WriteRegDWORD ${root} "${UNINSTALL_KEY}" "NoRepair" 1
    WriteRegDWORD ${root} "${UNINSTALL_KEY}" "EstimatedSize" $3
!macroend

Section "Install"
    ${If} $AllUsers == 1
        SetShellVarContext all
    ${Else}
        SetShellVarContext current
    ${EndIf}
    ${If} ${RunningX64}
        ${If} $AllUsers == 1
            StrCpy $Folder32 "$PROGRAMFILES32\${PRODUCT}"
        ${Else}
            StrCpy $Folder32 "$INSTDIR\x86"
        ${EndIf}
    ${Else}
        StrCpy $Folder32 $INSTDIR
    ${EndIf}

    ; Modules that an earlier uninstall had to rename aside because a program still held them.
    Delete "$INSTDIR\*.removed"
    Delete "$Folder32\*.removed"

    SetOutPath "$INSTDIR"
    ${If} ${RunningX64}
        File "${BIN64}\Quelvar.dll"
        File "${BIN64}\qvsum.exe"
        ; The package holds only its manifest and logos; the files the manifest names (the module, the
        ; program, the logos) are resolved in this folder, its external location.
        File "${BIN64}\Quelvar.msix"
        SetOutPath "$INSTDIR\Assets"
        File "${ASSETS}\*.png"
        SetOutPath "$INSTDIR"
    ${Else}
        File "${BIN32}\Quelvar.dll"
        File "${BIN32}\qvsum.exe"
    ${EndIf}
    File "${BIN64}\Quelvar.chm"
    File "${BIN64}\History.txt"
    ; The 32-bit module, with its own manual beside it, for 32-bit programs and their file dialogs.
    ${If} ${RunningX64}
        SetOutPath "$Folder32"
        File "${BIN32}\Quelvar.dll"
        File "${BIN64}\Quelvar.chm"
        File "${BIN64}\History.txt"
        SetOutPath "$INSTDIR"
    ${EndIf}
    WriteUninstaller "$INSTDIR\Uninstall.exe"
    WriteINIStr "$INSTDIR\Uninstall.ini" "Install" "AllUsers" "$AllUsers"
    WriteINIStr "$INSTDIR\Uninstall.ini" "Install" "Folder32" "$Folder32"

    ${If} $AllUsers == 1
        StrCpy $1 ""
    ${Else}
        StrCpy $1 "/n /i:user"
    ${EndIf}
    ClearErrors
    ; The 32-bit module first: where a system keeps no 32-bit copy of the user's classes, the 64-bit
    ; registration, which 64-bit Explorer reads, is the one that stays.
    ${If} ${RunningX64}
        !insertmacro Regsvr32 "$WINDIR\SysWOW64\regsvr32.exe" "$1" "$Folder32\Quelvar.dll"
        ${DisableX64FSRedirection}
        !insertmacro Regsvr32 "$WINDIR\System32\regsvr32.exe" "$1" "$INSTDIR\Quelvar.dll"
        ${EnableX64FSRedirection}
    ${Else}
        !insertmacro Regsvr32 "$SYSDIR\regsvr32.exe" "$1" "$INSTDIR\Quelvar.dll"
    ${EndIf}
    ${If} ${Errors}
        MessageBox MB_ICONSTOP "${PRODUCT} could not be registered." /SD IDOK
        SetErrorLevel 2
    ${EndIf}

    ; Windows 11 puts Quelvar into its first-level context menu only for a package with identity: the
    ; signed sparse package, whose files are this folder. Explorer loads it only after it restarts; the
    ; setup never ends Explorer itself.
    StrCpy $PackageAdded 0
    !insertmacro IfWindows11Package
        StrCpy $R7 0  ; 1 when a step failed
        ${If} $AllUsers == 1
            !insertmacro PowerShell "remove the provisioning of an earlier version" "${PS_REMOVE_PROVISIONED}"
            !insertmacro PowerShell "remove earlier registrations for all users" "${PS_REMOVE_FOR_ALL}"
            !insertmacro PowerShell "stage for all users" "${PS_STAGE}"
            !insertmacro PowerShell "provision for all users" "${PS_PROVISION}"
        ${Else}
            !insertmacro PowerShell "remove an earlier registration" "${PS_REMOVE_FOR_USER}"
            !insertmacro PowerShell "register for this user" "${PS_ADD_FOR_USER}"
        ${EndIf}
        ${If} $R7 == 0
            StrCpy $PackageAdded 1
            !insertmacro Log "File Explorer shows ${PRODUCT} in its first context menu after it restarts (sign out and in again, or restart Windows Explorer in Task Manager); until then ${PRODUCT} is under $\"Show more options$\"."
        ${Else}
            !insertmacro Log "${PRODUCT} stays under $\"Show more options$\" in File Explorer's context menu."
        ${EndIf}
    ${EndIf}
    ${If} $PackageAdded == 1
        StrCpy $FinishText "${PRODUCT} ${VERSION} has been installed on your computer.$\r$\n$\r$\nFile Explorer shows ${PRODUCT} in its first context menu after it restarts: sign out and in again, or restart $\"Windows Explorer$\" in Task Manager. Until then ${PRODUCT} is under $\"Show more options$\".$\r$\n$\r$\nClick Finish to close Setup."
    ${Else}
        StrCpy $FinishText "${PRODUCT} ${VERSION} has been installed on your computer.$\r$\n$\r$\nClick Finish to close Setup."
    ${EndIf}
    !insertmacro Log "${PRODUCT} ${VERSION} installed in $INSTDIR (all users: $AllUsers)"

    ; The "Programs and Features" entry, in the 64-bit view on 64-bit Windows.
    ${If} ${RunningX64}
        SetRegView 64
    ${EndIf}
    ${GetSize} "$INSTDIR" "/S=0K" $3 $4 $5
    ${If} $AllUsers == 1
        !insertmacro WriteUninstallEntry HKLM
    ${Else}
        !insertmacro WriteUninstallEntry HKCU
    ${EndIf}
    SetRegView lastused
SectionEnd

; Uninstaller ------------------------------------------------------------------------------------------------

; The log macro calls the uninstaller's own copy of its function from here on.
!undef UN
!define UN "un."

Function un.onInit
    ReadINIStr $AllUsers "$INSTDIR\Uninstall.ini" "Install" "AllUsers"
    ReadINIStr $Folder32 "$INSTDIR\Uninstall.ini" "Install" "Folder32"
    ${If} $AllUsers == 1
        SetShellVarContext all
    ${Else}
        StrCpy $AllUsers 0
        SetShellVarContext current
    ${EndIf}
    ${If} $Folder32 == ""
        StrCpy $Folder32 $INSTDIR
    ${EndIf}
    StrCpy $RemoveData 0
    ${GetParameters} $0
    ClearErrors
    ${GetOptions} $0 "/LEFTOVERS" $1
    ${IfNot} ${Errors}
        Call un.RemoveLeftovers
        Quit
    ${EndIf}
    ClearErrors
    ${GetOptions} $0 "/REMOVEDATA" $1
    ${IfNot} ${Errors}
        StrCpy $RemoveData 1
    ${EndIf}
    ; Removing an installation for all users needs administrator rights (the machine's keys, Program
    ; Files); without them it would stop halfway and leave a menu whose files are gone.
    ${If} $AllUsers == 1
        !insertmacro IsAdministrator $1
        ${If} $1 != 1
            MessageBox MB_ICONSTOP "${PRODUCT} was installed for all users of this computer, so only an administrator can remove it. Right-click the uninstaller and choose $\"Run as administrator$\". Nothing was removed." /SD IDOK
            Push "Not removed from $INSTDIR: installed for all users, and the uninstaller has no administrator rights"
            Call un.AppendToLog
            SetErrorLevel 740  ; ERROR_ELEVATION_REQUIRED
            Quit
        ${EndIf}
    ${EndIf}
FunctionEnd

; At the sign-in after an uninstall that had to leave a module in use behind (see RemoveUserModule), the
; user's RunOnce entry starts the uninstaller kept for it, with /LEFTOVERS: it deletes the renamed
; modules, itself and the folders when they are empty.
Function un.RemoveLeftovers
    Delete "$INSTDIR\*.removed"
    Delete "$INSTDIR\x86\*.removed"
    RMDir "$INSTDIR\x86"
    ; Installed again since, the folder holds an installation whose uninstaller must stay.
    ${IfNot} ${FileExists} "$INSTDIR\Uninstall.ini"
        Delete "$INSTDIR\Uninstall.exe"
        RMDir "$INSTDIR"
    ${EndIf}
FunctionEnd

Function un.DataPage
    !insertmacro MUI_HEADER_TEXT "Uninstall ${PRODUCT}" "${PRODUCT} is removed from this computer."
    nsDialogs::Create 1018
    Pop $0
    ${NSD_CreateLabel} 0 0 100% 24u "Your favorites, history and settings are kept in the folder %APPDATA%\Quelvar, so that a later installation finds them again."
    Pop $0
    ${NSD_CreateCheckBox} 0 34u 100% 12u "&Remove my favorites, history and settings as well"
    Pop $RemoveDataBox
    nsDialogs::Show
FunctionEnd

Function un.DataPageLeave
    ${NSD_GetState} $RemoveDataBox $0
    ${If} $0 == ${BST_CHECKED}
        StrCpy $RemoveData 1
    ${EndIf}
FunctionEnd

; A module still loaded by a running program (Explorer, a file dialog) is removed at the next restart.
; Only an administrator can schedule that: for a per-user installation see RemoveUserModule.
!macro RemoveModuleFolder folder
    Delete /REBOOTOK "${folder}\Quelvar.dll"
    Delete "${folder}\Quelvar.chm"
    Delete "${folder}\History.txt"
    RMDir /REBOOTOK "${folder}"
!macroend

; Per user, a module that a running program still holds cannot be deleted, and deleting it at the
; restart needs administrator rights. It is unregistered by now; renamed to "<name>.removed" no
; registration names it, so nothing can load it again. The user's RunOnce entry deletes it at the next
; sign-in without administrator rights (with the folders, when empty), and so does the next install.
!macro RemoveUserModule folder
    ClearErrors
    Delete "${folder}\Quelvar.dll"
    ${If} ${Errors}
        GetTempFileName $R0 "${folder}"
        Delete $R0
        ClearErrors
        Rename "${folder}\Quelvar.dll" "$R0.removed"
        ${If} ${Errors}
            DetailPrint "${folder}\Quelvar.dll is in use and could not be renamed"
        ${EndIf}
        StrCpy $R1 1
    ${EndIf}
    Delete "${folder}\Quelvar.chm"
    Delete "${folder}\History.txt"
    RMDir "${folder}"
!macroend

; The uninstaller stays to finish the job at the next sign-in. The RunOnce entry starts it directly, not
; through cmd, so that nothing in the folder's name is read as a variable or an operator; a folder too long
; for RunOnce's 260 characters is named by its short form.
Function un.ScheduleLeftovers
    StrCpy $R2 '"$INSTDIR\Uninstall.exe" /S /LEFTOVERS'
    StrLen $R3 $R2
    ${If} $R3 >= 260
        GetFullPathName /SHORT $R4 "$INSTDIR"
        StrCpy $R2 '"$R4\Uninstall.exe" /S /LEFTOVERS'
        StrLen $R3 $R2
    ${EndIf}
    ${If} $R3 < 260
    ${AndIf} $R2 != '"\Uninstall.exe" /S /LEFTOVERS'
        WriteRegStr HKCU "Software\Microsoft\Windows\CurrentVersion\RunOnce" "Quelvar leftovers" $R2
        !insertmacro Log "A module still in use stays in $INSTDIR until the next sign-in"
    ${Else}
        Delete "$INSTDIR\Uninstall.exe"
        !insertmacro Log "A module still in use stays in $INSTDIR: the next installation removes it, or delete the folder after signing out and in"
    ${EndIf}
FunctionEnd

Section "Uninstall"
    ; The package first, so that Explorer lets go of the module it loaded through it.
    !insertmacro IfWindows11Package
        StrCpy $R7 0
        ${If} $AllUsers == 1
            !insertmacro PowerShell "remove the provisioning" "${PS_REMOVE_PROVISIONED}"
            !insertmacro PowerShell "remove for all users" "${PS_REMOVE_FOR_ALL}"
        ${Else}
            !insertmacro PowerShell "remove for this user" "${PS_REMOVE_FOR_USER}"
        ${EndIf}
    ${EndIf}
    ${If} $AllUsers == 1
        StrCpy $1 "/u"
    ${Else}
        StrCpy $1 "/u /n /i:user"
    ${EndIf}
    ${If} ${RunningX64}
        ${DisableX64FSRedirection}
        !insertmacro Regsvr32 "$WINDIR\System32\regsvr32.exe" "$1" "$INSTDIR\Quelvar.dll"
        ${EnableX64FSRedirection}
        !insertmacro Regsvr32 "$WINDIR\SysWOW64\regsvr32.exe" "$1" "$Folder32\Quelvar.dll"
    ${Else}
        !insertmacro Regsvr32 "$SYSDIR\regsvr32.exe" "$1" "$INSTDIR\Quelvar.dll"
    ${EndIf}

    Delete "$INSTDIR\qvsum.exe"
    Delete "$INSTDIR\Quelvar.msix"
    Delete "$INSTDIR\Assets\*.png"
    RMDir "$INSTDIR\Assets"
    Delete "$INSTDIR\Uninstall.ini"
    ${If} $AllUsers == 1
        Delete "$INSTDIR\Uninstall.exe"
        ${If} $Folder32 != $INSTDIR
            !insertmacro RemoveModuleFolder "$Folder32"
        ${EndIf}
        !insertmacro RemoveModuleFolder "$INSTDIR"
    ${Else}
        StrCpy $R1 0  ; 1 when a module had to be renamed aside
        ${If} $Folder32 != $INSTDIR
            !insertmacro RemoveUserModule "$Folder32"
        ${EndIf}
        !insertmacro RemoveUserModule "$INSTDIR"
        ${If} $R1 == 1
            Call un.ScheduleLeftovers
        ${Else}
            Delete "$INSTDIR\Uninstall.exe"
            RMDir "$INSTDIR"
        ${EndIf}
    ${EndIf}

    ${If} ${RunningX64}
        SetRegView 64
    ${EndIf}
    ${If} $AllUsers == 1
        DeleteRegKey HKLM "${UNINSTALL_KEY}"
    ${Else}
        DeleteRegKey HKCU "${UNINSTALL_KEY}"
    ${EndIf}
    SetRegView lastused
    !insertmacro Log "${PRODUCT} ${VERSION} removed from $INSTDIR (all users: $AllUsers)"

    ; The data folder belongs to the user who ran the uninstaller: asked, what Quelvar wrote there goes;
    ; not asked, nothing in it is touched.
    ${If} $RemoveData == 1
        SetShellVarContext current
        ${If} $APPDATA != ""
            Call un.RemoveDataFolder
        ${EndIf}
    ${EndIf}
SectionEnd

; Deletes the files Quelvar writes into the user's data folder (Data.qvd, its unfinished and set-aside
; copies, which may still hold favorites, the downloaded history and the diagnostic log), then the folder
; if nothing else is left in it. Nothing is deleted by pattern through a subfolder and nothing through a
; junction or symbolic link: any program of the user can put one there, and an elevated uninstall would
; otherwise empty whatever folder it points to.
Function un.RemoveDataFolder
    StrCpy $R0 "$APPDATA\Quelvar"
    System::Call 'kernel32::GetFileAttributesW(w R0)i.r1'
    ${If} $1 == -1
        Return
    ${EndIf}
    IntOp $2 $1 & 0x400  ; FILE_ATTRIBUTE_REPARSE_POINT
    ${If} $2 != 0
        !insertmacro Log "$R0 is a link to another folder: nothing in it was removed"
        Return
    ${EndIf}
    Delete "$R0\Data.qvd"
    Delete "$R0\Data.qvd.tmp"
    Delete "$R0\Data.qvd.damaged"
    Delete "$R0\Data.qvd.damaged-*"
    Delete "$R0\history.txt"
    Delete "$R0\history.txt.tmp"
    Delete "$R0\Quelvar.log"
    Delete "$R0\Quelvar.log.1"
    RMDir "$R0"
    !insertmacro Log "Data folder $R0 emptied of Quelvar's files"
FunctionEnd
