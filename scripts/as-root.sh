# Sourced by the scripts that call apt: sets asRoot to the prefix that runs a
# command as root: nothing when the script already runs as root, sudo
# otherwise. Usage: source "$(dirname "${BASH_SOURCE[0]}")/as-root.sh"
if [ "$(id -u)" -eq 0 ]; then
  asRoot=()
else
  asRoot=(sudo)
fi
