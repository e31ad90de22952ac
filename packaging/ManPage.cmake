# Writes the manual page of the command line from its own help text, so the two never differ.
#   cmake -DPROGRAM=path/to/quorvane-cli -DVERSION=x.y.z -DOUTPUT=quorvane.1 -P ManPage.cmake
execute_process(COMMAND "${PROGRAM}" --help OUTPUT_VARIABLE help RESULT_VARIABLE status)
if(NOT status EQUAL 0)
    message(FATAL_ERROR "${PROGRAM} --help failed: ${status}")
endif()

# roff reads a backslash as an escape and a leading "." or "'" as a request.
string(REPLACE "\\" "\\e" help "${help}")
string(REGEX REPLACE "(^|\n)([.'])" "\\1\\\\&\\2" help "${help}")
string(REGEX REPLACE "\n+$" "" help "${help}")

string(TIMESTAMP month "%B %Y" UTC)
file(WRITE "${OUTPUT}" ".TH QUORVANE 1 \"${month}\" \"quorvane ${VERSION}\" \"User Commands\"
.SH NAME
quorvane, quorvane-cli \\- log on to the file shares of a domain server
.SH SYNOPSIS
.B quorvane
.RI [ \"Qt options\" ]
.RB [ \\-\\-autostart ]
.br
.B quorvane logon \\-\\-server
.I SERVER
.B \\-\\-user
.I NAME
.br
.B quorvane logout
|
.B status
|
.B reconnect
|
.B \\-\\-help
|
.B \\-\\-version
.SH DESCRIPTION
Quorvane logs a user on to the file shares of a Windows or Samba domain server, as a logon
script does on a domain workstation. With no command it shows an icon in the system tray whose
panel takes the server, the user name and the password; the standard Qt options such as
.B \\-platform
and
.B \\-style
are accepted then.
.B quorvane-cli
takes the same commands without the panel, for machines with no display.
.PP
.nf
${help}
.fi
.SH FILES
.TP
.I ~/smbmounts
every share is mounted on a folder of its own here
.TP
.I ~/.config/Quorvane/Quorvane.conf
the user's settings: the server typed last
.TP
.I /etc/xdg/Quorvane/Quorvane.conf
the administrator's preset: the server shown until the user types one
.TP
.I /etc/xdg/autostart/quorvane.desktop
starts the tray icon at login; the tray menu's \\(lqStart at login\\(rq turns it off for one user
.SH SEE ALSO
.BR fusermount3 (1)
")
