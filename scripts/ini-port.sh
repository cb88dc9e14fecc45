# SPDX-License-Identifier: MIT
# Sourced by scripts/run and scripts/demo-bus: finds or makes the port number under which a
# line is mapped in section [Ports] of a modlcd.ini.
#
# map_port INI LINK [FIRST]: prints the number already mapped to LINK, or else maps the
# highest one from FIRST (default 20) down that nothing of yours uses (no mapping, not your
# chosen port, no /dev/ttyUSB device behind it) and prints it; prints nothing when every
# number 1..20 is taken. Nothing else in the file is changed, and it is replaced in one
# rename so that it is never seen half-written.

# Section and key names in modlcd.ini are matched without regard to case; lines end in CRLF.
ini_scan() {
    awk -v want="$2" '
        { line = $0; sub(/\r$/, "", line) }
        line ~ /^[ \t]*\[/ {
            sec = tolower(line); gsub(/^[ \t]*\[|\][ \t]*$/, "", sec); next
        }
        {
            i = index(line, "="); if (i == 0) next
            k = tolower(substr(line, 1, i - 1)); gsub(/^[ \t]+|[ \t]+$/, "", k)
            v = substr(line, i + 1); gsub(/^[ \t]+|[ \t]+$/, "", v)
            if (sec == "ports") { print "mapped " k; if (v == want) print "mine " k }
            if (sec == "settings" && k == "commport") print "chosen " v
        }' "$1"
}

map_port() {
    local ini=$1 link=$2 first=${3:-20} scan port="" n tmp
    scan=$(ini_scan "$ini" "$link")
    port=$(awk '$1 == "mine" { print $2; exit }' <<<"$scan")
    if [[ -n "$port" ]]; then
        echo "$port"
        return
    fi
    for n in $(seq "$first" -1 1); do
        if ! grep -qx "mapped $n" <<<"$scan" && ! grep -qx "chosen $n" <<<"$scan" &&
            [[ ! -e "/dev/ttyUSB$((n - 1))" ]]; then
            port=$n
            break
        fi
    done
    [[ -z "$port" ]] && return
    # Add the mapping under [Ports] (made at the end when there is none).
    tmp=$(mktemp "$(dirname "$ini")/.modlcd.ini.XXXXXX")
    awk -v entry="$port=$link" '
        { line = $0; sub(/\r$/, "", line); print $0; }
        !done && tolower(line) ~ /^[ \t]*\[ports\][ \t]*$/ { printf "%s\r\n", entry; done = 1 }
        END { if (!done) printf "[Ports]\r\n%s\r\n", entry }' "$ini" >"$tmp"
    mv "$tmp" "$ini"
    echo "$port"
}
