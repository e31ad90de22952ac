# Sourced by the demo and the screenshot script: gives the demo users of a running test domain
# (scripts/testdomain.sh) passwords that anyone can type on any keyboard. The tests keep the
# domain's own passwords, which hold the characters that need encoding.
#
#   set_demo_passwords DIR   sets the passwords below on the domain in DIR
#   demo_password USER       prints USER's demo password
#   demo_case USER           prints what a logon as USER shows

# name, password, what a logon shows (carol and mallory go wrong on purpose)
demo_users_table() {
    cat <<'EOF'
alice	alice-demo	everything works: the home share and five group shares
bob	bob-demo	the home share and three group shares, one of them for admins only
carol	carol-demo	on purpose: her home share has no mac.bat, so no group shares
mallory	mallory-demo	on purpose: a hostile share map; every unsafe share name is skipped
EOF
}

demo_password() {
    demo_users_table | awk -F'\t' -v u="$1" '$1 == u { print $2 }'
}

demo_case() {
    demo_users_table | awk -F'\t' -v u="$1" '$1 == u { print $3 }'
}

set_demo_passwords() {
    local dir=$1 lib d name password
    local -a wrap=()
    for d in /usr/lib/x86_64-linux-gnu /usr/lib/aarch64-linux-gnu /usr/lib64 /usr/lib; do
        [ -e "$d/libnss_wrapper.so" ] && { lib="$d/libnss_wrapper.so"; break; }
    done
    [ -n "${lib:-}" ] || { echo "demo: libnss_wrapper.so not found" >&2; return 1; }
    wrap=(LD_PRELOAD="$lib" NSS_WRAPPER_PASSWD="$dir/etc/passwd" NSS_WRAPPER_GROUP="$dir/etc/group")
    if [ "$(id -u)" -ne 0 ]; then
        wrap=(LD_PRELOAD="$lib:${d}/libuid_wrapper.so" NSS_WRAPPER_PASSWD="$dir/etc/passwd"
            NSS_WRAPPER_GROUP="$dir/etc/group" UID_WRAPPER=1 UID_WRAPPER_ROOT=1)
    fi
    while IFS=$'\t' read -r name password _; do
        # On standard input, twice: never on an argument list.
        printf '%s\n%s\n' "$password" "$password" |
            env "${wrap[@]}" smbpasswd -c "$dir/smb.conf" -s -a "$name" >/dev/null 2>&1 ||
            { echo "demo: could not set the password of $name" >&2; return 1; }
    done < <(demo_users_table)
}
