# Writes the manual page of the command line from its own help text, so the two never differ.
#   cmake -DPROGRAM=path/to/quorvane-cli -DVERSION=x.y.z -DOUTPUT=quorvane.1 -P ManPage.cmake
execute_process(COMMAND "${PROGRAM}" --help OUTPUT_VARIABLE help RESULT_VARIABLE status)
if(NOT status EQUAL 0)
    message(FATAL_ERROR "${PROGRAM} --help failed: ${status}")
endif()

# roff reads a backslash as an escape (a leading "." or "'" as a request: see below).
string(REPLACE "\\" "\\e" help "${help}")
string(REGEX REPLACE "\n+$" "" help "${help}")

# The help text's layout turned into the page's: its usage lines are the synopsis and its
# opening words the description above; a command or exit status at two spaces starts a tagged
# paragraph, and the text indented below it is filled; "Exit status:" opens a section of its
# own.
string(REPLACE ";" "\\;" help "${help}")
string(REPLACE "\n" ";" lines "${help}")
set(body "")
set(section "")
foreach(line IN LISTS lines)
    if(line MATCHES "^usage: " OR line MATCHES "^ +\\| ")
        continue()
    elseif(section STREQUAL "" AND NOT line MATCHES "^  [^ ]")
        # What the help says before its commands, the description above says too.
        continue()
    elseif(line STREQUAL "")
        string(APPEND body ".PP\n")
    elseif(line STREQUAL "Exit status:")
        set(section "exit")
        string(APPEND body ".SH EXIT STATUS\n")
    elseif(line MATCHES "^  ([^ ].*)$")
        set(item "${CMAKE_MATCH_1}")
        if(section STREQUAL "")
            set(section "commands")
            string(APPEND body ".SH COMMANDS\n")
        endif()
        if(section STREQUAL "exit" AND item MATCHES "^([^ ]+) +(.*)$")
            string(APPEND body ".TP\n.B ${CMAKE_MATCH_1}\n${CMAKE_MATCH_2}\n")
        else()
            string(REPLACE "-" "\\-" item "${item}")
            string(APPEND body ".TP\n.B ${item}\n")
        endif()
    else()
        # Unindented, a text line that begins with "." or "'" would be read as a request.
        string(REGEX REPLACE "^ +" "" line "${line}")
        string(REGEX REPLACE "^([.'])" "\\\\&\\1" line "${line}")
        string(APPEND body "${line}\n")
    endif()
endforeach()
string(REGEX REPLACE "(\\.PP\n)+" ".PP\n" body "${body}")
string(REGEX REPLACE "\\.PP\n(\\.SH)" "\\1" body "${body}")
string(REGEX REPLACE "^\\.PP\n" "" body "${body}")
string(REGEX REPLACE "\n$" "" help "${body}")

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
${help}
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
