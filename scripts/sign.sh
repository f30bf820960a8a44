#!/usr/bin/env bash
# Signs Windows files (PE, MSI) in place with Authenticode, SHA-256, through osslsigncode.
#   sign.sh --signer FILE [--description TEXT] <file>...
# The signer file is written by the build (cmake/Signing.cmake, the one place that chooses the certificate):
# osslsigncode's arguments naming the certificate, its key, the key's password file and the time stamp, one a
# line; a line "#throwaway" says the certificate is the build's own self-signed one, good for tests and
# nothing else.
set -euo pipefail
args=() files=() throwaway=""
while [ $# -gt 0 ]; do
    case "$1" in
        --signer)
            while IFS= read -r line || [ -n "$line" ]; do
                case "$line" in
                    "#throwaway") throwaway=1 ;;
                    "") ;;
                    *) args+=("$line") ;;
                esac
            done <"$2"
            shift 2 ;;
        --description) args+=(-n "$2"); shift 2 ;;
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
