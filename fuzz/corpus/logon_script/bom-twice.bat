set GROUPS=a:set GROUPS=b
