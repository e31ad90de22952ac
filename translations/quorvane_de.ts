<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="de_DE">
<context>
    <name>Notices</name>
    <message numerus="yes">
        <source>%1 and %n more</source>
        <translation>
            <numerusform>%1 und %n weitere</numerusform>
            <numerusform>%1 und %n weitere</numerusform>
        </translation>
    </message>
    <message>
        <source>%1: %2</source>
        <translation>%1: %2</translation>
    </message>
    <message>
        <source>Logon failed</source>
        <translation>Anmeldung fehlgeschlagen</translation>
    </message>
    <message numerus="yes">
        <source>%n share(s) mounted under ~/smbmounts.</source>
        <translation>
            <numerusform>%n Freigabe unter ~/smbmounts eingebunden.</numerusform>
            <numerusform>%n Freigaben unter ~/smbmounts eingebunden.</numerusform>
        </translation>
    </message>
    <message>
        <source>Logged on, not every share mounted</source>
        <translation>Angemeldet, nicht alle Freigaben eingebunden</translation>
    </message>
    <message numerus="yes">
        <source>Logged on, %n share(s) not mounted</source>
        <translation>
            <numerusform>Angemeldet, %n Freigabe nicht eingebunden</numerusform>
            <numerusform>Angemeldet, %n Freigaben nicht eingebunden</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%n share(s) mounted under ~/smbmounts: %1.</source>
        <translation>
            <numerusform>%n Freigabe unter ~/smbmounts eingebunden: %1.</numerusform>
            <numerusform>%n Freigaben unter ~/smbmounts eingebunden: %1.</numerusform>
        </translation>
    </message>
    <message>
        <source>Logged on</source>
        <translation>Angemeldet</translation>
    </message>
    <message>
        <source>Some shares could not be released</source>
        <translation>Einige Freigaben konnten nicht getrennt werden</translation>
    </message>
    <message>
        <source>Still mounted: %1. Close the files and folders open on them, then choose Logout again.</source>
        <translation>Noch eingebunden: %1. Schließen Sie die darauf geöffneten Dateien und Ordner und wählen Sie dann erneut „Abmelden“.</translation>
    </message>
    <message>
        <source>Logout failed</source>
        <translation>Abmeldung fehlgeschlagen</translation>
    </message>
</context>
<context>
    <name>StatusWords</name>
    <message>
        <source>Logon workflow finished. Shares mapped under ~/smbmounts/</source>
        <translation>Anmeldung abgeschlossen. Freigaben unter ~/smbmounts/ eingebunden.</translation>
    </message>
    <message>
        <source>Logon stopped. Shares mounted before stay mounted.</source>
        <translation>Anmeldung abgebrochen. Vorher eingebundene Freigaben bleiben eingebunden.</translation>
    </message>
    <message>
        <source>Every mounted share works; nothing to reconnect.</source>
        <translation>Alle eingebundenen Freigaben funktionieren; nichts neu zu verbinden.</translation>
    </message>
    <message>
        <source>Another logon or logout is running. Try again once it has finished.</source>
        <translation>Eine andere An- oder Abmeldung läuft. Versuchen Sie es erneut, wenn sie beendet ist.</translation>
    </message>
    <message>
        <source>Failed to mount initial user home directory.</source>
        <translation>Das persönliche Verzeichnis konnte nicht eingebunden werden.</translation>
    </message>
    <message>
        <source>Home mounted, but failed to read or find groups in mac.bat.</source>
        <translation>Persönliches Verzeichnis eingebunden, aber die Gruppen in mac.bat konnten nicht gelesen oder gefunden werden.</translation>
    </message>
    <message>
        <source>User home mapped, but failed to connect to Netlogon share.</source>
        <translation>Persönliches Verzeichnis eingebunden, aber keine Verbindung zur Freigabe netlogon.</translation>
    </message>
    <message>
        <source>Failed to create base ~/smbmounts folder: </source>
        <translation>Der Ordner ~/smbmounts konnte nicht angelegt werden: </translation>
    </message>
    <message>
        <source>Error while disconnecting: </source>
        <translation>Fehler beim Trennen: </translation>
    </message>
    <message>
        <source>All shares are already disconnected.</source>
        <translation>Alle Freigaben sind bereits getrennt.</translation>
    </message>
    <message>
        <source>No shares mapped (smbmounts folder not found).</source>
        <translation>Keine Freigaben eingebunden (Ordner smbmounts nicht gefunden).</translation>
    </message>
    <message>
        <source>The share map shares.ini could not be read: </source>
        <translation>Die Freigabenliste shares.ini konnte nicht gelesen werden: </translation>
    </message>
    <message>
        <source>Could not reconnect: </source>
        <translation>Nicht neu verbunden: </translation>
    </message>
    <message>
        <source>Wrong user name or password.</source>
        <translation>Falscher Benutzername oder falsches Passwort.</translation>
    </message>
    <message>
        <source>The share is unknown or not allowed.</source>
        <translation>Die Freigabe ist unbekannt oder nicht erlaubt.</translation>
    </message>
    <message>
        <source>The server was not found or is not answering.</source>
        <translation>Der Server wurde nicht gefunden oder antwortet nicht.</translation>
    </message>
    <message>
        <source>FUSE is not permitted on this computer.</source>
        <translation>FUSE ist auf diesem Computer nicht erlaubt.</translation>
    </message>
    <message>
        <source>The mount point is in use or not empty.</source>
        <translation>Der Einhängepunkt ist belegt oder nicht leer.</translation>
    </message>
    <message>
        <source>Stopped on request.</source>
        <translation>Auf Wunsch abgebrochen.</translation>
    </message>
    <message>
        <source>The server has no share of this name.</source>
        <translation>Der Server hat keine Freigabe dieses Namens.</translation>
    </message>
    <message>
        <source>Its name cannot stand as a folder in ~/smbmounts.</source>
        <translation>Ihr Name kann kein Ordner in ~/smbmounts sein.</translation>
    </message>
    <message>
        <source>The share mounted there is not answering.</source>
        <translation>Die dort eingebundene Freigabe antwortet nicht.</translation>
    </message>
    <message>
        <source>Another user&apos;s file or folder stands in its place.</source>
        <translation>An ihrer Stelle steht eine Datei oder ein Ordner eines anderen Benutzers.</translation>
    </message>
    <message>
        <source>A mount there no longer answers and could not be released.</source>
        <translation>Eine Einbindung dort antwortet nicht mehr und konnte nicht getrennt werden.</translation>
    </message>
    <message>
        <source>The file is missing.</source>
        <translation>Die Datei fehlt.</translation>
    </message>
    <message>
        <source>The file is not UTF-8 text.</source>
        <translation>Die Datei ist kein UTF-8-Text.</translation>
    </message>
    <message>
        <source>The file cannot be read: </source>
        <translation>Die Datei kann nicht gelesen werden: </translation>
    </message>
    <message numerus="yes">
        <source>Reconnected %n share(s).</source>
        <translation>
            <numerusform>%n Freigabe neu verbunden.</numerusform>
            <numerusform>%n Freigaben neu verbunden.</numerusform>
        </translation>
    </message>
    <message>
        <source>Disconnected %1 of 1 share</source>
        <translation>%1 von 1 Freigabe getrennt</translation>
    </message>
    <message>
        <source>Disconnected %1 of %2 shares</source>
        <translation>%1 von %2 Freigaben getrennt</translation>
    </message>
    <message>
        <source>; still in use: %1</source>
        <translation>; noch in Gebrauch: %1</translation>
    </message>
    <message>
        <source>; no answer within %1: %2</source>
        <translation>; keine Antwort innerhalb von %1: %2</translation>
    </message>
    <message>
        <source>Not mounted: %1.</source>
        <translation>Nicht eingebunden: %1.</translation>
    </message>
    <message>
        <source>Not on the server: %1.</source>
        <translation>Nicht auf dem Server: %1.</translation>
    </message>
    <message>
        <source>Not tried, beyond %1 group shares per logon: %2.</source>
        <translation>Nicht versucht, mehr als %1 Gruppenfreigaben pro Anmeldung: %2.</translation>
    </message>
    <message>
        <source>Shares of user %1 are still mounted under ~/smbmounts/. Log out first, then log on again.</source>
        <translation>Freigaben des Benutzers %1 sind noch unter ~/smbmounts/ eingebunden. Melden Sie sich zuerst ab und dann erneut an.</translation>
    </message>
    <message>
        <source>The user name &quot;%1&quot; is not of the form NAME, DOMAIN\NAME or NAME@DOMAIN.</source>
        <translation>Der Benutzername „%1“ hat nicht die Form NAME, DOMÄNE\NAME oder NAME@DOMÄNE.</translation>
    </message>
    <message>
        <source>The user name &quot;%1&quot; cannot stand as a folder in ~/smbmounts.</source>
        <translation>Der Benutzername „%1“ kann kein Ordner in ~/smbmounts sein.</translation>
    </message>
    <message>
        <source>The mount tool could not be started (%1); install or repair Quorvane.</source>
        <translation>Das Einbindewerkzeug konnte nicht gestartet werden (%1); installieren oder reparieren Sie Quorvane.</translation>
    </message>
    <message>
        <source>The mount tool ended abnormally (signal %1).</source>
        <translation>Das Einbindewerkzeug wurde unerwartet beendet (Signal %1).</translation>
    </message>
    <message>
        <source>The mount tool failed (exit status %1).</source>
        <translation>Das Einbindewerkzeug ist fehlgeschlagen (Status %1).</translation>
    </message>
    <message>
        <source>The server is not answering.</source>
        <translation>Der Server antwortet nicht.</translation>
    </message>
    <message>
        <source>Successfully disconnected 1 share.</source>
        <translation>1 Freigabe getrennt.</translation>
    </message>
    <message>
        <source>Successfully disconnected %1 shares.</source>
        <translation>%1 Freigaben getrennt.</translation>
    </message>
    <message>
        <source>answering</source>
        <translation>antwortet</translation>
    </message>
    <message>
        <source>server not answering</source>
        <translation>Server antwortet nicht</translation>
    </message>
    <message>
        <source>password no longer accepted</source>
        <translation>Passwort nicht mehr angenommen</translation>
    </message>
    <message>
        <source>Kerberos ticket expired</source>
        <translation>Kerberos-Ticket abgelaufen</translation>
    </message>
    <message>
        <source>share no longer available</source>
        <translation>Freigabe nicht mehr verfügbar</translation>
    </message>
    <message>
        <source>disconnected</source>
        <translation>getrennt</translation>
    </message>
    <message>
        <source>mount stopped</source>
        <translation>Einbindung angehalten</translation>
    </message>
    <message>
        <source>not mounted</source>
        <translation>nicht eingebunden</translation>
    </message>
    <message>
        <source>cannot be checked</source>
        <translation>nicht abfragbar</translation>
    </message>
    <message>
        <source>Away from %1: shares will come back when the network does</source>
        <translation>Nicht im Netz von %1: Die Freigaben kommen zurück, sobald das Netzwerk wieder da ist</translation>
    </message>
</context>
<context>
    <name>TrayState</name>
    <message>
        <source>logged off</source>
        <translation>abgemeldet</translation>
    </message>
    <message numerus="yes">
        <source>logged off, %n share(s) still mounted</source>
        <translation>
            <numerusform>abgemeldet, %n Freigabe noch eingebunden</numerusform>
            <numerusform>abgemeldet, %n Freigaben noch eingebunden</numerusform>
        </translation>
    </message>
    <message>
        <source>logging out…</source>
        <translation>Abmeldung läuft …</translation>
    </message>
    <message>
        <source>logging on…</source>
        <translation>Anmeldung läuft …</translation>
    </message>
    <message numerus="yes">
        <source>logged on, %n share(s) mounted</source>
        <translation>
            <numerusform>angemeldet, %n Freigabe eingebunden</numerusform>
            <numerusform>angemeldet, %n Freigaben eingebunden</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>, %n could not be mounted</source>
        <translation>
            <numerusform>, %n konnte nicht eingebunden werden</numerusform>
            <numerusform>, %n konnten nicht eingebunden werden</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>some shares could not be released (%n share(s) still mounted)</source>
        <translation>
            <numerusform>einige Freigaben konnten nicht getrennt werden (%n Freigabe noch eingebunden)</numerusform>
            <numerusform>einige Freigaben konnten nicht getrennt werden (%n Freigaben noch eingebunden)</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>some shares broken (%1 of %n share(s) not working)</source>
        <translation>
            <numerusform>einige Freigaben gestört (%1 von %n Freigabe funktioniert nicht)</numerusform>
            <numerusform>einige Freigaben gestört (%1 von %n Freigaben funktionieren nicht)</numerusform>
        </translation>
    </message>
    <message>
        <source>Logon Client</source>
        <translation>Anmeldeprogramm</translation>
    </message>
</context>
<context>
    <name>main</name>
    <message>
        <source>quorvane: unknown option &quot;%1&quot;
Try &apos;quorvane --help&apos;.</source>
        <translation>quorvane: unbekannte Option „%1“
Hilfe mit „quorvane --help“.</translation>
    </message>
    <message>
        <source>quorvane: a second start will not find this one: %1</source>
        <translation>quorvane: ein zweiter Start wird dieses Programm nicht finden: %1</translation>
    </message>
</context>
<context>
    <name>quorvane::AutoRepair</name>
    <message>
        <source>Shares reconnected</source>
        <translation>Freigaben wieder verbunden</translation>
    </message>
</context>
<context>
    <name>quorvane::BusyIndicator</name>
    <message>
        <source>Busy</source>
        <translation>Beschäftigt</translation>
    </message>
    <message>
        <source>A logon or logout is running.</source>
        <translation>Eine An- oder Abmeldung läuft.</translation>
    </message>
</context>
<context>
    <name>quorvane::ContentView</name>
    <message>
        <source>The server did not take the password. Nothing was released. Type your current password and press Logon to reconnect.</source>
        <translation>Der Server hat das Passwort nicht angenommen. Nichts wurde getrennt. Geben Sie Ihr aktuelles Passwort ein und drücken Sie „Anmelden“, um die Verbindung wiederherzustellen.</translation>
    </message>
    <message>
        <source>Your password is needed to reconnect. Nothing was released. Type it and press Logon.</source>
        <translation>Zum Wiederverbinden wird Ihr Passwort gebraucht. Nichts wurde getrennt. Geben Sie es ein und drücken Sie „Anmelden“.</translation>
    </message>
    <message>
        <source>Unexpected error: %1</source>
        <translation>Unerwarteter Fehler: %1</translation>
    </message>
    <message>
        <source>Unexpected error.</source>
        <translation>Unerwarteter Fehler.</translation>
    </message>
    <message>
        <source>Ends Quorvane; mounted shares stay mounted. Shortcut: %1</source>
        <translation>Beendet Quorvane; eingebundene Freigaben bleiben eingebunden. Tastenkürzel: %1</translation>
    </message>
    <message>
        <source>The name or address of the file server, for example FS1 or 10.0.0.5.</source>
        <translation>Name oder Adresse des Dateiservers, zum Beispiel FS1 oder 10.0.0.5.</translation>
    </message>
    <message>
        <source>Your user name on the server, alone or as DOMAIN\NAME or NAME@DOMAIN.</source>
        <translation>Ihr Benutzername auf dem Server, allein oder als DOMÄNE\NAME oder NAME@DOMÄNE.</translation>
    </message>
    <message>
        <source>Your password on the server. Quorvane never stores it.</source>
        <translation>Ihr Passwort auf dem Server. Quorvane speichert es nie.</translation>
    </message>
    <message>
        <source>What the last logon or logout did.</source>
        <translation>Was die letzte An- oder Abmeldung ergeben hat.</translation>
    </message>
    <message>
        <source>Releases every mounted share and removes its folder.</source>
        <translation>Trennt alle eingebundenen Freigaben und entfernt ihre Ordner.</translation>
    </message>
    <message>
        <source>Stopping…</source>
        <translation>Wird abgebrochen …</translation>
    </message>
    <message>
        <source>Reconnecting the shares that do not work…</source>
        <translation>Die nicht funktionierenden Freigaben werden neu verbunden …</translation>
    </message>
    <message>
        <source>Kerberos ticket of %1</source>
        <translation>Kerberos-Ticket von %1</translation>
    </message>
    <message>
        <source>Your password on the server, or empty to log on with your Kerberos ticket of %1. Quorvane never stores it.</source>
        <translation>Ihr Passwort auf dem Server, oder leer, um sich mit Ihrem Kerberos-Ticket von %1 anzumelden. Quorvane speichert es nie.</translation>
    </message>
    <message>
        <source>&amp;Cancel</source>
        <translation>&amp;Abbrechen</translation>
    </message>
    <message>
        <source>Mounts the shares that do not work again.</source>
        <translation>Bindet die nicht funktionierenden Freigaben neu ein.</translation>
    </message>
    <message>
        <source>Logs on to the server and mounts your shares.</source>
        <translation>Meldet Sie am Server an und bindet Ihre Freigaben ein.</translation>
    </message>
    <message>
        <source>Stops the running logon. A share mounted halfway is released.</source>
        <translation>Bricht die laufende Anmeldung ab. Eine halb eingebundene Freigabe wird wieder getrennt.</translation>
    </message>
    <message>
        <source>Busy: the logon is stopping.</source>
        <translation>Beschäftigt: Die Anmeldung wird abgebrochen.</translation>
    </message>
    <message>
        <source>Busy: the logout is running.</source>
        <translation>Beschäftigt: Die Abmeldung läuft.</translation>
    </message>
    <message>
        <source>Logon panel</source>
        <translation>Anmeldefenster</translation>
    </message>
    <message>
        <source>Quorvane logo</source>
        <translation>Quorvane-Logo</translation>
    </message>
    <message>
        <source>Your password on the server. Quorvane keeps it only when Remember is ticked.</source>
        <translation>Ihr Passwort auf dem Server. Quorvane behält es nur, wenn „Merken“ angekreuzt ist.</translation>
    </message>
    <message>
        <source>Re&amp;member</source>
        <translation>&amp;Merken</translation>
    </message>
    <message>
        <source>Keep the password in the desktop&apos;s secret store, so that Reconnect needs no typing</source>
        <translation>Das Passwort im Schlüsselbund der Arbeitsumgebung aufbewahren, damit „Neu verbinden“ ohne Eingabe auskommt</translation>
    </message>
    <message>
        <source>Remember password</source>
        <translation>Passwort merken</translation>
    </message>
    <message>
        <source>Ready</source>
        <translation>Bereit</translation>
    </message>
    <message>
        <source>Quit Application</source>
        <translation>Programm beenden</translation>
    </message>
    <message>
        <source>&amp;Server IP or Name:</source>
        <translation>&amp;Server (IP oder Name):</translation>
    </message>
    <message>
        <source>&amp;Username:</source>
        <translation>&amp;Benutzername:</translation>
    </message>
    <message>
        <source>&amp;Password:</source>
        <translation>&amp;Passwort:</translation>
    </message>
    <message>
        <source>Log&amp;out</source>
        <translation>Abmel&amp;den</translation>
    </message>
    <message>
        <source>Kerberos ticket</source>
        <translation>Kerberos-Ticket</translation>
    </message>
    <message>
        <source>Processing Network Logon Workflows...</source>
        <translation>Anmeldung am Netzwerk läuft ...</translation>
    </message>
    <message>
        <source>Logging out and disconnecting shares...</source>
        <translation>Abmeldung läuft, Freigaben werden getrennt ...</translation>
    </message>
    <message>
        <source>&amp;Logon</source>
        <translation>&amp;Anmelden</translation>
    </message>
    <message>
        <source>Quorvane for Linux</source>
        <translation>Quorvane für Linux</translation>
    </message>
    <message>
        <source>Quorvane for Apple Silicon</source>
        <translation>Quorvane für Apple Silicon</translation>
    </message>
    <message>
        <source>Log on automatically</source>
        <translation>Automatisch anmelden</translation>
    </message>
    <message>
        <source>At the desktop&apos;s login, log on with your Kerberos ticket or the remembered password, without the panel</source>
        <translation>Bei der Anmeldung am Desktop mit Ihrem Kerberos-Ticket oder dem gemerkten Passwort anmelden, ohne das Fenster</translation>
    </message>
    <message>
        <source>The server did not take the remembered password, which is forgotten. Type your password and press Logon.</source>
        <translation>Der Server hat das gemerkte Passwort nicht angenommen; es ist vergessen. Geben Sie Ihr Passwort ein und drücken Sie „Anmelden“.</translation>
    </message>
    <message>
        <source>No Kerberos ticket and no remembered password: type your password and press Logon.</source>
        <translation>Kein Kerberos-Ticket und kein gemerktes Passwort: Geben Sie Ihr Passwort ein und drücken Sie „Anmelden“.</translation>
    </message>
</context>
<context>
    <name>quorvane::TrayController</name>
    <message>
        <source>No shares mounted</source>
        <translation>Keine Freigaben eingebunden</translation>
    </message>
    <message>
        <source>Open %1</source>
        <translation>%1 öffnen</translation>
    </message>
    <message>
        <source>Reconnect</source>
        <translation>Neu verbinden</translation>
    </message>
    <message>
        <source>Mount the shares that do not work again</source>
        <translation>Die nicht funktionierenden Freigaben neu einbinden</translation>
    </message>
    <message>
        <source>Logon…</source>
        <translation>Anmelden …</translation>
    </message>
    <message>
        <source>Logout</source>
        <translation>Abmelden</translation>
    </message>
    <message>
        <source>Start at login</source>
        <translation>Bei der Anmeldung starten</translation>
    </message>
    <message>
        <source>Quit</source>
        <translation>Beenden</translation>
    </message>
</context>
</TS>
