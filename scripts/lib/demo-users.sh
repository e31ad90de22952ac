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
    local testdomain name password
    testdomain="$(dirname "${BASH_SOURCE[0]}")/../testdomain.sh"
    while IFS=$'\t' read -r name password _; do
        # On standard input: never on an argument list.
        printf '%s\n' "$password" | "$testdomain" passwd "$1" "$name" ||
            { echo "demo: could not set the password of $name" >&2; return 1; }
    done < <(demo_users_table)
}
