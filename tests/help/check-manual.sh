#!/usr/bin/env bash
# Checks the compiled help manual against its sources:
#   check-manual.sh <Quelvar.chm> <Quelvar.hhp>
# The file must be a CHM (ITSF signature) that holds every page the project
# names, its table of contents and its index, and every topic the contents and
# the index point to, and every link between pages, must be inside it.
set -euo pipefail
chm="$1"
hhp="$2"
src="$(dirname "$hhp")"
fail=0
complain() { echo "FAIL: $*" >&2; fail=1; }

[ "$(head -c 4 "$chm")" = "ITSF" ] || complain "$chm does not start with the ITSF signature"

# Names stored in the file, without the leading slash; the archive's own
# entries (#..., $..., ::...) are left out.
stored="$(chmls list "$chm" | awk 'NF >= 4 && $4 ~ /^\/[^#$]/ { sub(/^\//, "", $4); print $4 }')"
has() { grep -qxF "$1" <<<"$stored"; }

# The pages of the [FILES] section, plus the contents and index files.
expected="$(awk '/^\[/ { files = ($0 == "[FILES]"); next } files && NF { print $1 }' "$hhp")"
contents="$(sed -n 's/^Contents file=//p' "$hhp" | tr -d '\r')"
index="$(sed -n 's/^Index file=//p' "$hhp" | tr -d '\r')"
[ -n "$contents" ] || complain "the project names no table of contents"
[ -n "$index" ] || complain "the project names no index"
for name in $expected "$contents" "$index"; do
    has "$name" || complain "$name is missing from $chm"
done

# Every page must be reachable from the table of contents.
for page in $(grep -x '.*\.htm' <<<"$expected"); do
    grep -q "value=\"$page\"" "$src/$contents" || complain "$page is not in the table of contents"
done
# Every topic of the contents and the index, and every link of every page, exists.
targets="$(sed -n 's/.*name="Local" value="\([^"#]*\).*/\1/p' "$src/$contents" "$src/$index";
           cat "$src"/*.htm | grep -o 'href="[^"#]*' | sed 's/^href="//')"
for target in $(sort -u <<<"$targets"); do
    has "$target" || complain "$target is referred to but not in $chm"
done
[ "$(grep -c '<param name="Local"' "$src/$index")" -gt 0 ] || complain "the index has no entries"

[ "$fail" -eq 0 ] && echo "$chm: $(wc -l <<<"$stored") files, every page, the contents and the index present"
exit "$fail"
