#!/usr/bin/env bash
# The source tree keeps its shape: the shared layer includes no feature and not the window; features
# include the shared layer and themselves (imaging, which stages what the others prepare, may include
# boot and disk); nothing includes app/ but app/; no thread is detached; no source file grows past 450
# lines.   usage: layering.sh SOURCE_ROOT
set -uo pipefail
src=$1/src
status=0
fail() {
    echo "FAIL: $*"
    status=1
}

allowed() {  # folder -> the folders it may include besides the shared layer and itself
    case $1 in
        base | text | pe | platform | resources) echo "" ;;
        imaging) echo "boot disk" ;;
        *) echo "" ;;
    esac
}
shared="base text pe platform resources"

for dir in "$src"/*/; do
    folder=$(basename "$dir")
    [ "$folder" = app ] && continue
    while IFS=: read -r file line text; do
        included=$(sed -n 's/.*#include "\([^/"]*\)\/.*/\1/p' <<<"$text")
        [ -z "$included" ] || [ "$included" = "$folder" ] && continue
        case " $shared " in *" $included "*)
            case " $shared " in *" $folder "*)
                # Within the shared layer: base depends on nothing else of ours.
                [ "$folder" = base ] && fail "$file:$line includes $included/ from the base layer"
                ;;
            esac
            continue ;;
        esac
        case " $(allowed "$folder") " in *" $included "*) continue ;; esac
        fail "$file:$line: $folder/ includes $included/"
    done < <(grep -rn '#include "' "$dir" --include='*.h' --include='*.cpp' --include='*.in')
done

while IFS= read -r hit; do fail "a detached thread: $hit"; done < <(grep -rn '\.detach()' "$src" --include='*.cpp' --include='*.h')

while IFS= read -r file; do
    lines=$(wc -l <"$file")
    [ "$lines" -gt 450 ] && fail "$file has $lines lines"
done < <(find "$src" -name '*.cpp' -o -name '*.h')

[ $status = 0 ] && echo "the source tree keeps its layers"
exit $status
