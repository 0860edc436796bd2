#!/bin/bash
# Times klovin-extract against the tools a user would otherwise reach for (ripmime,
# munpack, Python's email package) on one generated corpus, in one run, and prints the
# ratios. The same messages are also written as .dbx mailboxes, to compare the mailbox
# pass with the message-file pass.
#
#   bench/cli/compare.sh [--messages N] [--runs R] [--build DIR] [--keep]
#
# Needs a native build (cmake --preset native && cmake --build build/native). Installs
# the Debian packages ripmime and mpack when they are missing. Not part of the tests.
set -euo pipefail

here=$(cd "$(dirname "$0")/../.." && pwd)
messages=3000
runs=3
build="$here/build/native"
keep=0
while [ $# -gt 0 ]; do
    case "$1" in
    --messages) messages=$2; shift 2 ;;
    --runs) runs=$2; shift 2 ;;
    --build) build=$2; shift 2 ;;
    --keep) keep=1; shift ;;
    *) echo "usage: $0 [--messages N] [--runs R] [--build DIR] [--keep]" >&2; exit 2 ;;
    esac
done

extract="$build/cli/klovin-extract"
writer="$build/tools/dbx-writer"
for program in "$extract" "$writer"; do
    [ -x "$program" ] || { echo "missing $program: build the native preset first" >&2; exit 1; }
done

if ! command -v ripmime >/dev/null || ! command -v munpack >/dev/null; then
    sudo=""
    [ "$(id -u)" -eq 0 ] || sudo=sudo
    $sudo apt-get update -qq
    $sudo apt-get install -y -qq ripmime mpack >/dev/null
fi
command -v python3 >/dev/null || { echo "python3 is needed" >&2; exit 1; }

work=$(mktemp -d /tmp/klovin-bench.XXXXXX)
[ "$keep" -eq 1 ] || trap 'rm -rf "$work"' EXIT
echo "corpus: $messages messages in $work"

# The corpus: a mix of messages without attachments, with one, and with several, in
# base64 and quoted-printable, sizes from a few KB to a few hundred KB, with unique
# attachment names so that every tool saves the same set of files.
python3 - "$work/eml" "$messages" <<'PY'
import base64, os, random, sys, quopri
root, count = sys.argv[1], int(sys.argv[2])
random.seed(7)
for folder in range(4):
    os.makedirs(os.path.join(root, "folder%d" % folder), exist_ok=True)
for i in range(count):
    parts = []
    attachments = random.choice([0, 1, 1, 1, 2, 3])
    body = ("Line of text %d for the message body.\r\n" % i) * random.randint(5, 60)
    for a in range(attachments):
        size = random.choice([4, 20, 60, 150, 400]) * 1024 + random.randint(0, 999)
        if random.random() < 0.8:
            data = random.randbytes(size)
            encoded = base64.encodebytes(data).replace(b"\n", b"\r\n").decode()
            parts.append(("m%05d_%d.bin" % (i, a), "base64", encoded))
        else:
            data = (("quoted text = %d\r\n" % a) * (size // 18)).encode()
            encoded = quopri.encodestring(data).replace(b"\n", b"\r\n").decode()
            parts.append(("m%05d_%d.txt" % (i, a), "quoted-printable", encoded))
    text = ("From: sender%d@example.org\r\nTo: user@example.org\r\nSubject: message %d\r\n"
            "MIME-Version: 1.0\r\nContent-Type: multipart/mixed; boundary=\"=_b%d\"\r\n\r\n"
            "--=_b%d\r\nContent-Type: text/plain; charset=us-ascii\r\n\r\n%s\r\n"
            % (i, i, i, i, body))
    for name, encoding, encoded in parts:
        text += ("--=_b%d\r\nContent-Type: application/octet-stream; name=\"%s\"\r\n"
                 "Content-Transfer-Encoding: %s\r\n"
                 "Content-Disposition: attachment; filename=\"%s\"\r\n\r\n%s\r\n"
                 % (i, name, encoding, name, encoded))
    text += "--=_b%d--\r\n" % i
    with open(os.path.join(root, "folder%d" % (i % 4), "%05d.eml" % i), "w", newline="") as f:
        f.write(text)
PY

# The same messages as one mailbox per folder.
mkdir -p "$work/dbx"
for folder in "$work"/eml/folder*; do
    (cd "$folder" && "$writer" "$work/dbx/$(basename "$folder").dbx" *.eml)
done
du -sh "$work/eml" "$work/dbx" | sed 's/^/size: /'

# The Python email package as a script writer would use it.
cat >"$work/pyextract.py" <<'PY'
import email, email.policy, os, sys
source, out = sys.argv[1], sys.argv[2]
for folder, _, files in os.walk(source):
    for name in files:
        if not name.endswith(".eml"):
            continue
        with open(os.path.join(folder, name), "rb") as f:
            message = email.message_from_binary_file(f, policy=email.policy.default)
        for part in message.iter_attachments():
            filename = part.get_filename()
            if filename:
                with open(os.path.join(out, os.path.basename(filename)), "wb") as f:
                    f.write(part.get_payload(decode=True))
PY

run_klovin_eml() { "$extract" --eml --yes -q -o "$1" "$work/eml"; }
run_klovin_dbx() { "$extract" --yes -q -o "$1" "$work/dbx"; }
# ripmime takes one message per run.
run_ripmime() { find "$work/eml" -name '*.eml' -print0 | xargs -0 -I{} ripmime -i {} -d "$1" --no-nameless; }
# munpack takes many messages per run and writes into the current folder.
run_munpack() { (cd "$1" && find "$work/eml" -name '*.eml' -print0 | xargs -0 munpack -q -f >/dev/null); }
run_python() { python3 "$work/pyextract.py" "$work/eml" "$1"; }

tools="klovin_eml klovin_dbx ripmime munpack python"
declare -A best files
for tool in $tools; do best[$tool]=""; done
# One untimed round first, so that every tool reads from the same warm cache; then the
# tools take turns, and the best of the timed rounds counts.
for round in $(seq 0 "$runs"); do
    for tool in $tools; do
        out="$work/out-$tool"
        rm -rf "$out"
        mkdir -p "$out"
        start=$(date +%s.%N)
        "run_$tool" "$out" >/dev/null 2>&1 || true
        end=$(date +%s.%N)
        files[$tool]=$(find "$out" -type f | wc -l)
        [ "$round" -eq 0 ] && continue
        seconds=$(echo "$end - $start" | bc -l)
        if [ -z "${best[$tool]}" ] || [ "$(echo "$seconds < ${best[$tool]}" | bc -l)" -eq 1 ]; then
            best[$tool]=$seconds
        fi
    done
done

expected=$(grep -rhc '^Content-Disposition: attachment' "$work/eml" | paste -sd+ | bc)
printf '\nattachments in the corpus: %s\n\n' "$expected"
printf '%-12s %10s %8s %22s\n' tool seconds files "time / klovin (.eml)"
base=${best[klovin_eml]}
for tool in $tools; do
    printf '%-12s %10.3f %8s %22.2f\n' "$tool" "${best[$tool]}" "${files[$tool]}" \
        "$(echo "${best[$tool]} / $base" | bc -l)"
done
fastest=""
for tool in ripmime munpack python; do
    if [ -z "$fastest" ] || [ "$(echo "${best[$tool]} < ${best[$fastest]}" | bc -l)" -eq 1 ]; then
        fastest=$tool
    fi
done
printf '\nfastest peer: %s, %.2f times the time of klovin-extract on the .eml corpus (goal: at least 4)\n' \
    "$fastest" "$(echo "${best[$fastest]} / $base" | bc -l)"
printf '.dbx run / .eml run: %.2f (goal: at most 1.5)\n' "$(echo "${best[klovin_dbx]} / $base" | bc -l)"
