set GROUPS=
