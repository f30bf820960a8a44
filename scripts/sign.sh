#!/usr/bin/env bash
# Signs a Windows file (PE or MSI) in place with Authenticode, SHA-256, through osslsigncode.
#   sign.sh [--pkcs12 FILE | --key FILE --cert FILE] [--pass-file FILE] [--timestamp URL] [--throwaway]
#           [--description TEXT] <file>...
# The key's password, if any, is read from --pass-file (kept outside the repository). --throwaway only says
# in the output that the certificate is the build's own self-signed one, good for tests and nothing else.
set -euo pipefail
args=() files=() throwaway=""
while [ $# -gt 0 ]; do
    case "$1" in
        --pkcs12) [ -n "$2" ] && args+=(-pkcs12 "$2"); shift 2 ;;
        --key) [ -n "$2" ] && args+=(-key "$2"); shift 2 ;;
        --cert) [ -n "$2" ] && args+=(-certs "$2"); shift 2 ;;
        --pass-file) [ -n "$2" ] && args+=(-readpass "$2"); shift 2 ;;
        --timestamp) [ -n "$2" ] && args+=(-ts "$2"); shift 2 ;;
        --description) args+=(-n "$2"); shift 2 ;;
        --throwaway) throwaway=1; shift ;;
        *) files+=("$1"); shift ;;
    esac
done
for file in "${files[@]}"; do
    tmp="$file.signing"
    rm -f "$tmp"
    # A rebuilt file carries no signature yet; one signed earlier (an unchanged target) is signed anew.
    if osslsigncode extract-signature -in "$file" -out /dev/null >/dev/null 2>&1; then
        osslsigncode remove-signature -in "$file" -out "$tmp" >/dev/null
        mv -f "$tmp" "$file"
    fi
    if ! osslsigncode sign -h sha256 "${args[@]}" -in "$file" -out "$tmp" >"$tmp.log" 2>&1; then
        cat "$tmp.log" >&2
        rm -f "$tmp" "$tmp.log"
        echo "sign.sh: could not sign $file" >&2
        exit 1
    fi
    rm -f "$tmp.log"
    mv -f "$tmp" "$file"
    if [ -n "$throwaway" ]; then
        echo "signed $(basename "$file") with the build's throwaway self-signed test certificate (not for release)"
    else
        echo "signed $(basename "$file")"
    fi
done
