#!/usr/bin/env bash
# Runs the commands of README.md as a new user would: every block fenced as
# ```sh, in order, each in a fresh shell started at the root of a copy of the
# source tree (build folders and demo outputs left out), with HOME a scratch
# folder whose ~/.local/bin is on PATH, as Debian's login profile puts it once
# it exists. Blocks fenced as ```text (packages installed as root, a session)
# are shown only. A failing block is printed with its output; the scratch
# folder is then kept for a look.
# Usage: bash tests/readme_commands.sh [SOURCE_DIR]
set -euo pipefail
src=$(cd "${1:-$(dirname "$0")/..}" && pwd)
scratch=$(mktemp -d /tmp/kovaconv-readme-XXXXXX)
repo=$scratch/repo home=$scratch/home
mkdir -p "$repo" "$home"

# The tracked and new files of the work tree, or everything but the builds.
if git -C "$src" rev-parse --is-inside-work-tree >/dev/null 2>&1; then
  git -C "$src" ls-files -z --cached --others --exclude-standard |
    tar -C "$src" --null -T - -cf - | tar -C "$repo" -xf -
else
  tar -C "$src" --exclude='./build*' --exclude=./examples/out -cf - . | tar -C "$repo" -xf -
fi

awk -v dir="$scratch" '
  /^```sh$/ { n++; file = sprintf("%s/block%02d.sh", dir, n); inside = 1; next }
  /^```/    { inside = 0; next }
  inside    { print > file }
' "$src/README.md"
blocks=("$scratch"/block*.sh)
[ -f "${blocks[0]}" ] || { echo "readme_commands: no \`\`\`sh block in README.md" >&2; exit 1; }

for block in "${blocks[@]}"; do
  echo "== README block $(basename "$block" .sh):"
  sed 's/^/   $ /' "$block"
  if ! (cd "$repo" && HOME="$home" PATH="$home/.local/bin:$PATH" \
        bash -euo pipefail "$block") >"$block.log" 2>&1; then
    cat "$block.log"
    echo "readme_commands: the block above failed; see $scratch" >&2
    exit 1
  fi
done
rm -rf "$scratch"
echo "readme_commands: ${#blocks[@]} blocks of README.md ran"
