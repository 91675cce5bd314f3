#!/bin/sh
# veraway-check.exe under Wine, used live: an answer to each line while standard input stays open; a reader of
# standard output that goes away; a list held by a writer (list_file_holder.exe, share mode 0 as the editor
# holds a list while it saves it); many readers at once beside that writer.
# Usage: check_exe_live.sh EMULATOR EXE HOLDER WORK
set -u
emu=$1 exe=$2 holder=$3 work=$4
rm -rf "$work" && mkdir -p "$work/lists" && cd "$work" || exit 1
printf 'example.org\r\n' > lists/TrustFile_SafeSites.txt
printf 'links.example.net/\r\n' > lists/TrustFile_SafeLinks.txt
failed=0
fail() { echo "FAILED: $*"; failed=1; }

# The second line is written only once the answer to the first has been read (or after 60 s, which fails).
( echo https://example.org/a
  i=0; while [ ! -e got1 ] && [ $i -lt 600 ]; do sleep 0.1; i=$((i + 1)); done
  [ -e got1 ] || echo "no answer while the pipe stayed open" > late
  echo http://other.test/ ) |
  "$emu" "$exe" test --dir lists 2> err | { IFS= read -r first; touch got1; printf '%s\n' "$first"; cat; } > out
expected=$(printf 'approved: https://example.org/a\n  lists\\TrustFile_SafeSites.txt:1: example.org\nnot approved: http://other.test/')
[ -e late ] && fail "$(cat late)"
[ "$(cat out)" = "$expected" ] || fail "streamed answers: $(cat out)"

# A reader that goes away: the program ends quietly, status 2.
i=0; while [ $i -lt 20000 ]; do echo "https://example.org/$i"; i=$((i + 1)); done > many
{ "$emu" "$exe" test --dir lists < many 2> err; echo $? > status; } | head -1 > /dev/null
[ "$(cat status)" = 2 ] || fail "closed pipe: status $(cat status)"
[ -s err ] && fail "closed pipe: $(cat err)"

# Held by a writer for longer than the wait: "in use by another program" after about 2 s.
rm -f ready release
"$emu" "$holder" lists/TrustFile_SafeSites.txt ready release &
i=0; while [ ! -e ready ] && [ $i -lt 600 ]; do sleep 0.1; i=$((i + 1)); done
"$emu" "$exe" test --dir lists https://example.org/ > out 2> err
status=$?
[ $status = 2 ] || fail "held list: status $status"
[ "$(tr -d '\r' < err)" = 'veraway-check: error: lists\TrustFile_SafeSites.txt: cannot be opened: in use by another program' ] ||
  fail "held list: $(cat err)"

# Twenty readers at once while the writer holds the list for a second more: every one waits and answers.
n=0; while [ $n -lt 20 ]; do
  { "$emu" "$exe" test --dir lists https://example.org/ > "out$n" 2>&1; echo $? > "status$n"; } &
  n=$((n + 1))
done
sleep 1
touch release
wait
n=0; while [ $n -lt 20 ]; do
  [ "$(cat "status$n")" = 0 ] || fail "reader $n: status $(cat "status$n"): $(cat "out$n")"
  n=$((n + 1))
done
exit $failed
