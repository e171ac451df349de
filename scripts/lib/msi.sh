# Building the Windows installer, shared by scripts/release and the release tests (which build a
# next version from the same files). Source it after common.sh.
#
# wixl keeps the database's code page at 0 and drops every text that is not ASCII, and it writes
# the summary's language as 1033 whatever the package says. So the installer is built in English
# first; then the database is switched to code page 1251, the texts of packaging/msi-russian.sql
# take the English ones' places (msibuild converts them to 1251), and the summary's template says
# x64;1049 like ProductLanguage, keeping wixl's package code.

msi_build() { # folder version output.msi with-cli(0|1): wixl runs in folder, which holds the files
    local folder=$1 version=$2 output=$3 cli=()
    [ "$4" = 1 ] && cli=(-D CliExe=lumivo24-cli.exe)
    (cd "$folder" && wixl -a x64 -D Version="$version" -D WindowExe=lumivo24.exe \
        -D IconFile=lumivo24.ico "${cli[@]}" -o "$output" "$ROOT/packaging/lumivo24.wxs") ||
        return 1
    printf '\r\n\r\n1251\t_ForceCodepage\r\n' >"$folder/_ForceCodepage.idt"
    msibuild "$output" -i "$folder/_ForceCodepage.idt" || return 1
    local query
    while IFS= read -r query; do
        case $query in '' | '#'*) continue ;; esac
        msibuild "$output" -q "$query" || { log "msibuild failed on: $query"; return 1; }
    done <"$ROOT/packaging/msi-russian.sql"
    local package_code
    package_code=$(msiinfo suminfo "$output" | sed -n 's/^Revision number (UUID): //p')
    [ -n "$package_code" ] || { log "no package code in $output"; return 1; }
    msibuild "$output" -s LUMIVO24 "Lumivo Lighting Works Ltd." "x64;1049" "$package_code"
}
