#!/usr/bin/env bash
# Brings translations/ktlaunch_*.ts up to date with the texts marked in src/ (KT_TR):
# new texts come in unfinished, texts gone from the code are dropped. Translate the new
# ones in Qt Linguist (or an editor), then build. A new language: give its file name,
# e.g. scripts/update-translations.sh translations/ktlaunch_es.ts
set -euo pipefail
cd "$(dirname "$0")/.."
files=("$@")
((${#files[@]})) || files=(translations/ktlaunch_*.ts)
"${LUPDATE:-/usr/lib/qt6/bin/lupdate}" -silent -no-obsolete -locations none \
    -tr-function-alias QT_TRANSLATE_NOOP+=KT_TR src -ts "${files[@]}"
