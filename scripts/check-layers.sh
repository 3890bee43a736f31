#!/usr/bin/env bash
# Fails, naming the file and the line, when a source under src/ includes a header of a layer
# it may not see: a layer sees itself and the layers below it, never one beside or above it.
# The same picture as docs/ARCHITECTURE.md; the libraries' links say the same to the linker.
#   check-layers.sh [SRCDIR]   (default: the checkout's src/)
set -euo pipefail
src=${1:-$(cd "$(dirname "$0")/.." && pwd)/src}

# layer: the layers its sources may include, itself first.
declare -A sees=(
  [platform]="platform"
  [core]="core platform"
  [download]="download core platform"
  [download/ui]="download/ui download core platform"
  [toolkit]="toolkit core platform"
  [gui]="gui toolkit download/ui download core platform"
  [app]="app gui toolkit download/ui download core platform"
)
# Qt headers a layer may use: none below download, no widgets or gui in the engine.
declare -A qt=(
  [platform]=none [core]=none [download]=core [download/ui]=any [toolkit]=any [gui]=any [app]=any
)

layer_of() {  # path below src/ -> its layer
  case $1 in
    download/ui/*) echo download/ui ;;
    *) echo "${1%%/*}" ;;
  esac
}

wrong=0
while IFS= read -r -d '' file; do
  rel=${file#"$src"/}
  layer=$(layer_of "$rel")
  allowed=${sees[$layer]:-}
  [ -n "$allowed" ] || { echo "$rel: in no known layer"; wrong=1; continue; }
  backend=""
  case $rel in platform/posix/*) backend=posix ;; platform/win32/*) backend=win32 ;; esac
  while IFS=: read -r line text; do
    if [[ $text =~ \#include\ \"([^\"]+)\" ]]; then
      header=${BASH_REMATCH[1]}
      target=$(layer_of "$header")
      if [[ " $allowed " != *" $target "* ]]; then
        echo "$rel:$line: $layer may not include $header (layer $target)"
        wrong=1
      elif [ -n "$backend" ] && [[ $header == platform/posix/* || $header == platform/win32/* ]] &&
        [[ $header != platform/$backend/* ]]; then
        echo "$rel:$line: the $backend backend may not include $header"
        wrong=1
      fi
    elif [[ $text =~ \#include\ \<(Q[A-Za-z]*)(/[A-Za-z]+)?\> ]]; then
      header=${BASH_REMATCH[1]}${BASH_REMATCH[2]}
      case ${qt[$layer]} in
        none) echo "$rel:$line: $layer may not include the Qt header <$header>"; wrong=1 ;;
        core)
          # The engine runs on Qt Core and Qt Network; anything that draws is its front end's.
          if [[ $header =~ ^(QtWidgets|QtGui|QWidget|QDialog|QMessageBox|QApplication|QGuiApplication|QLabel|QPushButton|QProgressBar|QLineEdit|QIcon|QPixmap|QImage|QFont|QFontMetrics|QPainter|QPalette|QScreen|QWindow|QStyle|QLayout|QVBoxLayout|QHBoxLayout|QFormLayout|QGridLayout|QDialogButtonBox|QMainWindow) ]]; then
            echo "$rel:$line: $layer may not include the Qt Widgets or Qt Gui header <$header>"
            wrong=1
          fi ;;
      esac
    fi
  done < <(grep -n '^[[:space:]]*#[[:space:]]*include' "$file" | sed 's/#[[:space:]]*include/#include/')
done < <(find "$src" -type f \( -name '*.cpp' -o -name '*.h' \) -print0 | sort -z)
if [ "$wrong" -ne 0 ]; then
  echo "layers: includes across the layers the wrong way (see docs/ARCHITECTURE.md)"
  exit 1
fi
echo "layers: every include of src/ within its layer or below"
