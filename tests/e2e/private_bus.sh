# Sourced first by the end-to-end scripts that start the program: runs the script again inside a
# session bus of its own, so that a test never steps or shows the program of whoever runs the tests.
# Usage, before anything else: . "$(dirname "$0")/private_bus.sh" "$@"
# Exits 77 (skipped) when dbus-run-session is missing.
if [ "${TAPISTO_E2E_PRIVATE_BUS:-}" != "$$" ]; then
    if ! command -v dbus-run-session >/dev/null || ! command -v dbus-daemon >/dev/null; then
        echo "SKIP: dbus-run-session is not installed (scripts/deps.sh installs dbus-daemon)"
        exit 77
    fi
    unset DBUS_SESSION_BUS_ADDRESS
    exec dbus-run-session -- bash -c 'TAPISTO_E2E_PRIVATE_BUS=$$ exec bash "$0" "$@"' "$0" "$@"
fi
[ -n "${DBUS_SESSION_BUS_ADDRESS:-}" ] || { echo "FAIL: no private session bus"; exit 1; }
