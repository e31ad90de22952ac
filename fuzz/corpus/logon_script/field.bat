@echo off
net use H: /home
SET GROUPS=Admins
set GROUPS=Staff: Science Dept :YEAR10
set GROUPS=Other
