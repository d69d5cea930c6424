#!/usr/bin/env bash
# Makes the seed corpora under fuzz/corpus/ with the project's own tools
# (zephron-compress, patcher, zephron-stamp, fuzz_make_seeds) and the
# third-party ones the tests use as fixtures (gcab, mscompress). Run it
# after scripts/fuzz.sh has built build-fuzz/; the results are committed,
# so it is needed again only to renew the seeds.
set -euo pipefail
cd "$(dirname "$0")/.."
b=build-fuzz
cmake --build "$b" --target zephron-compress patcher zephron-stamp fuzz_make_seeds -j "$(nproc)" >/dev/null
c=fuzz/corpus
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p $c/{control_file,cabinet,szdd_expand,szdd_roundtrip,patch,registry_hive,rtf,command_line,url}

"$b/fuzz/fuzz_make_seeds" "$c"

# Control files: the shapes the update locations of our products use.
printf '[update]\r\nlocalversion={APP}\\Zephron.exe\r\nnewversion=1.1.0.0\r\n' > $c/control_file/current.inf
cat > $c/control_file/files.inf <<'INF'
[update]
signature=Corvexis
descr=TesselServer 1.2
date=2026-03-01
time=12:00
localversion={APP}\TesselServer.exe
newversion=1.2.0.0
newsize=$1F00
newchecksum=-5
[files]
count=3
[file1]
url=http://updates.example.invalid/TesselServer.exe
descr=Server program
localversion={APP}\TesselServer.exe
targetdir={DOC}\Tessel
newversion=1.2.0.0
mandatory=1
[file2]
url=docs.cab
compressed=1
[file3]
url=records.da_
compressed=1
hidden=1
[whatsnew0409]
file=whatsnew.rtf
[whatsnew]
caption=What's new
[eula0409]
file=eula.txt
INF
cat > $c/control_file/application.inf <<'INF'
[update]
localversion={LAD}\Quillon.exe
unconditional=1
[application]
appupdate=1
appname={APP}\Quillon.exe
appparam="--after-update"
appcomps=Quillon.exe_NEW engine.pat
silentrestart=1
[action]
msg=First line\nsecond line
htmldlg={TMP}\notes.html
runbefore={SYS}\prepare.exe
runbeforeparam=/quiet
showURL=http://example.invalid/{PF}
query=Go on?
runafter={WIN}\after.exe
[custom]
validatemsg=Checking
processparam=-x
INF

# Cabinets: plain, with a stored subfolder, and compressed with MSZIP.
mkdir -p "$work/cab/sub"
printf 'TesselServer 1.2 manual\n' > "$work/cab/manual.txt"
printf 'nested entry\n' > "$work/cab/sub/readme.txt"
(cd "$work/cab" && gcab -c "$OLDPWD/$c/cabinet/plain.cab" manual.txt)
(cd "$work/cab" && gcab -c "$OLDPWD/$c/cabinet/subfolder.cab" manual.txt sub/readme.txt)
(cd "$work/cab" && gcab -cz "$OLDPWD/$c/cabinet/mszip.cab" manual.txt sub/readme.txt)

# SZDD: our compressor and mscompress; the round trip starts from plain data.
seq 1 200 | sed 's/^/record /' > "$work/records.dat"
"$b/tools/zephron-compress/zephron-compress" "$work/records.dat" $c/szdd_expand/records.da_
cp "$work/records.dat" "$work/other.txt" && mscompress "$work/other.txt" && mv "$work/other.txt_" $c/szdd_expand/mscompress.txt_
head -c 300 "$work/records.dat" > $c/szdd_roundtrip/records.txt
printf 'aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa' > $c/szdd_roundtrip/repeats.txt

# Patches against the harness's fixed base.
printf 'Tessel Server 4.2 -- the base file of every patch the fuzzer tries.\n' > "$work/base"
printf 'Tessel Server 4.3 -- the base file of every patch the fuzzer tries, mended.\n' > "$work/new"
"$b/tools/patcher/patcher" make "$work/base" "$work/new" $c/patch/mended.pat >/dev/null
: > "$work/empty"
"$b/tools/patcher/patcher" make "$work/base" "$work/empty" $c/patch/to_empty.pat >/dev/null

# Hives: UTF-8 and UTF-16LE, with typed values and a delete.
cat > "$work/hive.reg" <<'REG'
Windows Registry Editor Version 5.00

[HKEY_CURRENT_USER\Software\Corvexis]
"Path"="C:\\Programs\\Tessel"
@="default"
"Count"=dword:0000002a
"Bytes"=hex:01,02,03,\
  04,05
"Multi"=hex(7):41,00,00,00,00,00
"Gone"=-

[HKEY_CURRENT_USER\Software\Corvexis\Tessel Server]
"Version"="1.0.0.0"
REG
cp "$work/hive.reg" $c/registry_hive/utf8.reg
{ printf '\xff\xfe'; iconv -f UTF-8 -t UTF-16LE "$work/hive.reg"; } > $c/registry_hive/utf16.reg
printf 'REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Software\\Corvexis]\r\n"Path"="x"\r\n' > $c/registry_hive/regedit4.reg

# A small ELF object stamped as our build stamps executables.
printf 'int x;\n' | cc -x c -c - -o "$work/stamped.o"
"$b/tools/zephron-stamp/zephron-stamp" --output "$work/block" --file-version 4.2.0.7 --product-name Tessel >/dev/null
objcopy --add-section .zephron.version="$work/block" --set-section-flags .zephron.version=noload,readonly \
  "$work/stamped.o" $c/version_info/stamped.elf

cp tests/rtf/release_notes.rtf $c/rtf/
printf '{\\rtf1\\ansi{\\fonttbl{\\f0 Arial;}}{\\colortbl;\\red255\\green0\\blue0;}\\f0\\fs24 {\\b bold} \\cf1 red\\par \\u8364? \\'"'"'e9\\tab end\\line}' > $c/rtf/small.rtf

printf '"C:\\Program Files\\Quillon\\patcher.exe" -v engine.pat engine.exe>> ZEPHRON.LOG' > $c/command_line/patcher.txt
printf 'setup.exe a\\\\\\"b "c d" e""f \\\\\\\\"g h"' > $c/command_line/quotes.txt

printf 'http://user:pw@updates.example.invalid:8080/tessel/tessel.INF?x=1' > $c/url/http.txt
printf '\\\\server\\share\\updates\\quillon.INF' > $c/url/unc.txt
printf 'ftp://updates.example.invalid/pub/zephron.INF' > $c/url/ftp.txt
ls -R $c | head -80
