#!/bin/sh
# Every relative link and picture in the README and docs/ names a file of the repository.
#   check_doc_links.sh SOURCE_DIR
set -u
cd "$1" || exit 2
status=0
for page in README.md docs/*.md; do
  dir=$(dirname "$page")
  # Targets of [text](target) and ![alt](target), without a #fragment; web addresses skipped.
  for target in $(grep -o '\]([^)]*)' "$page" | sed 's/^](//; s/)$//; s/#.*//'); do
    case "$target" in
      ''|http://*|https://*|mailto:*) continue ;;
    esac
    if [ ! -e "$dir/$target" ]; then
      echo "$page: broken link to $target"
      status=1
    fi
  done
done
exit $status
