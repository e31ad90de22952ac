<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="fr_FR">
<context>
    <name>Notices</name>
    <message numerus="yes">
        <source>%1 and %n more</source>
        <translation>
            <numerusform>%1 et %n autre</numerusform>
            <numerusform>%1 et %n autres</numerusform>
        </translation>
    </message>
    <message>
        <source>%1: %2</source>
        <translation>%1&#xa0;: %2</translation>
    </message>
    <message>
        <source>Logon failed</source>
        <translation>Échec de la connexion</translation>
    </message>
    <message numerus="yes">
        <source>%n share(s) mounted under ~/smbmounts.</source>
        <translation>
            <numerusform>%n partage monté dans ~/smbmounts.</numerusform>
            <numerusform>%n partages montés dans ~/smbmounts.</numerusform>
        </translation>
    </message>
    <message>
        <source>Logged on, not every share mounted</source>
        <translation>Connecté, mais pas tous les partages montés</translation>
    </message>
    <message numerus="yes">
        <source>Logged on, %n share(s) not mounted</source>
        <translation>
            <numerusform>Connecté, %n partage non monté</numerusform>
            <numerusform>Connecté, %n partages non montés</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%n share(s) mounted under ~/smbmounts: %1.</source>
        <translation>
            <numerusform>%n partage monté dans ~/smbmounts&#xa0;: %1.</numerusform>
            <numerusform>%n partages montés dans ~/smbmounts&#xa0;: %1.</numerusform>
        </translation>
    </message>
    <message>
        <source>Logged on</source>
        <translation>Connecté</translation>
    </message>
    <message>
        <source>Some shares could not be released</source>
        <translation>Certains partages n’ont pas pu être démontés</translation>
    </message>
    <message>
        <source>Still mounted: %1. Close the files and folders open on them, then choose Logout again.</source>
        <translation>Encore montés&#xa0;: %1. Fermez les fichiers et dossiers ouverts dessus, puis choisissez de nouveau « Se déconnecter ».</translation>
    </message>
    <message>
        <source>Logout failed</source>
        <translation>Échec de la déconnexion</translation>
    </message>
</context>
<context>
    <name>StatusWords</name>
    <message>
        <source>Logon workflow finished. Shares mapped under ~/smbmounts/</source>
        <translation>Connexion terminée. Partages montés sous ~/smbmounts/.</translation>
    </message>
    <message>
        <source>Logon stopped. Shares mounted before stay mounted.</source>
        <translation>Connexion arrêtée. Les partages montés auparavant le restent.</translation>
    </message>
    <message>
        <source>Every mounted share works; nothing to reconnect.</source>
        <translation>Tous les partages montés fonctionnent&#xa0;; rien à reconnecter.</translation>
    </message>
    <message>
        <source>Another logon or logout is running. Try again once it has finished.</source>
        <translation>Une autre connexion ou déconnexion est en cours. Réessayez quand elle sera terminée.</translation>
    </message>
    <message>
        <source>Failed to mount initial user home directory.</source>
        <translation>Le dossier personnel n’a pas pu être monté.</translation>
    </message>
    <message>
        <source>Home mounted, but failed to read or find groups in mac.bat.</source>
        <translation>Dossier personnel monté, mais les groupes de mac.bat n’ont pas pu être lus ou trouvés.</translation>
    </message>
    <message>
        <source>User home mapped, but failed to connect to Netlogon share.</source>
        <translation>Dossier personnel monté, mais pas de connexion au partage netlogon.</translation>
    </message>
    <message>
        <source>Failed to create base ~/smbmounts folder: </source>
        <translation>Le dossier ~/smbmounts n’a pas pu être créé&#xa0;: </translation>
    </message>
    <message>
        <source>Error while disconnecting: </source>
        <translation>Erreur à la déconnexion&#xa0;: </translation>
    </message>
    <message>
        <source>All shares are already disconnected.</source>
        <translation>Tous les partages sont déjà déconnectés.</translation>
    </message>
    <message>
        <source>No shares mapped (smbmounts folder not found).</source>
        <translation>Aucun partage monté (dossier smbmounts introuvable).</translation>
    </message>
    <message>
        <source>The share map shares.ini could not be read: </source>
        <translation>La liste des partages shares.ini n’a pas pu être lue&#xa0;: </translation>
    </message>
    <message>
        <source>Could not reconnect: </source>
        <translation>Pas de reconnexion&#xa0;: </translation>
    </message>
    <message>
        <source>Wrong user name or password.</source>
        <translation>Nom d’utilisateur ou mot de passe incorrect.</translation>
    </message>
    <message>
        <source>The share is unknown or not allowed.</source>
        <translation>Le partage est inconnu ou non autorisé.</translation>
    </message>
    <message>
        <source>The server was not found or is not answering.</source>
        <translation>Le serveur est introuvable ou ne répond pas.</translation>
    </message>
    <message>
        <source>FUSE is not permitted on this computer.</source>
        <translation>FUSE n’est pas autorisé sur cet ordinateur.</translation>
    </message>
    <message>
        <source>The mount point is in use or not empty.</source>
        <translation>Le point de montage est occupé ou n’est pas vide.</translation>
    </message>
    <message>
        <source>Stopped on request.</source>
        <translation>Arrêté sur demande.</translation>
    </message>
    <message>
        <source>The server has no share of this name.</source>
        <translation>Le serveur n’a pas de partage de ce nom.</translation>
    </message>
    <message>
        <source>Its name cannot stand as a folder in ~/smbmounts.</source>
        <translation>Son nom ne peut pas servir de dossier dans ~/smbmounts.</translation>
    </message>
    <message>
        <source>The share mounted there is not answering.</source>
        <translation>Le partage monté à cet endroit ne répond pas.</translation>
    </message>
    <message>
        <source>Another user&apos;s file or folder stands in its place.</source>
        <translation>Un fichier ou dossier d’un autre utilisateur occupe sa place.</translation>
    </message>
    <message>
        <source>A mount there no longer answers and could not be released.</source>
        <translation>Un montage à cet endroit ne répond plus et n’a pas pu être démonté.</translation>
    </message>
    <message>
        <source>The file is missing.</source>
        <translation>Le fichier est absent.</translation>
    </message>
    <message>
        <source>The file is not UTF-8 text.</source>
        <translation>Le fichier n’est pas du texte UTF-8.</translation>
    </message>
    <message>
        <source>The file cannot be read: </source>
        <translation>Le fichier ne peut pas être lu&#xa0;: </translation>
    </message>
    <message numerus="yes">
        <source>Reconnected %n share(s).</source>
        <translation>
            <numerusform>%n partage reconnecté.</numerusform>
            <numerusform>%n partages reconnectés.</numerusform>
        </translation>
    </message>
    <message>
        <source>Disconnected %1 of 1 share</source>
        <translation>%1 partage sur 1 déconnecté</translation>
    </message>
    <message>
        <source>Disconnected %1 of %2 shares</source>
        <translation>%1 partages sur %2 déconnectés</translation>
    </message>
    <message>
        <source>; still in use: %1</source>
        <translation>&#xa0;; encore utilisés&#xa0;: %1</translation>
    </message>
    <message>
        <source>; no answer within %1: %2</source>
        <translation>&#xa0;; pas de réponse en %1&#xa0;: %2</translation>
    </message>
    <message>
        <source>Not mounted: %1.</source>
        <translation>Non montés&#xa0;: %1.</translation>
    </message>
    <message>
        <source>Not on the server: %1.</source>
        <translation>Absents du serveur&#xa0;: %1.</translation>
    </message>
    <message>
        <source>Not tried, beyond %1 group shares per logon: %2.</source>
        <translation>Non essayés, au-delà de %1 partages de groupe par connexion&#xa0;: %2.</translation>
    </message>
    <message>
        <source>Shares of user %1 are still mounted under ~/smbmounts/. Log out first, then log on again.</source>
        <translation>Des partages de l’utilisateur %1 sont encore montés sous ~/smbmounts/. Déconnectez-vous d’abord, puis reconnectez-vous.</translation>
    </message>
    <message>
        <source>The user name &quot;%1&quot; is not of the form NAME, DOMAIN\NAME or NAME@DOMAIN.</source>
        <translation>Le nom d’utilisateur « %1 » n’a pas la forme NOM, DOMAINE\NOM ou NOM@DOMAINE.</translation>
    </message>
    <message>
        <source>The user name &quot;%1&quot; cannot stand as a folder in ~/smbmounts.</source>
        <translation>Le nom d’utilisateur « %1 » ne peut pas servir de dossier dans ~/smbmounts.</translation>
    </message>
    <message>
        <source>The mount tool could not be started (%1); install or repair Quorvane.</source>
        <translation>L’outil de montage n’a pas pu démarrer (%1)&#xa0;; installez ou réparez Quorvane.</translation>
    </message>
    <message>
        <source>The mount tool ended abnormally (signal %1).</source>
        <translation>L’outil de montage s’est arrêté anormalement (signal %1).</translation>
    </message>
    <message>
        <source>The mount tool failed (exit status %1).</source>
        <translation>L’outil de montage a échoué (code %1).</translation>
    </message>
    <message>
        <source>The server is not answering.</source>
        <translation>Le serveur ne répond pas.</translation>
    </message>
    <message>
        <source>Successfully disconnected 1 share.</source>
        <translation>1 partage déconnecté.</translation>
    </message>
    <message>
        <source>Successfully disconnected %1 shares.</source>
        <translation>%1 partages déconnectés.</translation>
    </message>
    <message>
        <source>answering</source>
        <translation>répond</translation>
    </message>
    <message>
        <source>server not answering</source>
        <translation>le serveur ne répond pas</translation>
    </message>
    <message>
        <source>password no longer accepted</source>
        <translation>mot de passe plus accepté</translation>
    </message>
    <message>
        <source>Kerberos ticket expired</source>
        <translation>ticket Kerberos expiré</translation>
    </message>
    <message>
        <source>share no longer available</source>
        <translation>partage plus disponible</translation>
    </message>
    <message>
        <source>disconnected</source>
        <translation>déconnecté</translation>
    </message>
    <message>
        <source>mount stopped</source>
        <translation>montage arrêté</translation>
    </message>
    <message>
        <source>not mounted</source>
        <translation>non monté</translation>
    </message>
    <message>
        <source>cannot be checked</source>
        <translation>impossible à interroger</translation>
    </message>
    <message>
        <source>Away from %1: shares will come back when the network does</source>
        <translation>Hors du réseau de %1&#xa0;: les partages reviendront avec le réseau</translation>
    </message>
</context>
<context>
    <name>TrayState</name>
    <message>
        <source>logged off</source>
        <translation>déconnecté</translation>
    </message>
    <message numerus="yes">
        <source>logged off, %n share(s) still mounted</source>
        <translation>
            <numerusform>déconnecté, %n partage encore monté</numerusform>
            <numerusform>déconnecté, %n partages encore montés</numerusform>
        </translation>
    </message>
    <message>
        <source>logging out…</source>
        <translation>déconnexion en cours…</translation>
    </message>
    <message>
        <source>logging on…</source>
        <translation>connexion en cours…</translation>
    </message>
    <message numerus="yes">
        <source>logged on, %n share(s) mounted</source>
        <translation>
            <numerusform>connecté, %n partage monté</numerusform>
            <numerusform>connecté, %n partages montés</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>, %n could not be mounted</source>
        <translation>
            <numerusform>, %n n’a pas pu être monté</numerusform>
            <numerusform>, %n n’ont pas pu être montés</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>some shares could not be released (%n share(s) still mounted)</source>
        <translation>
            <numerusform>certains partages n’ont pas pu être démontés (%n partage encore monté)</numerusform>
            <numerusform>certains partages n’ont pas pu être démontés (%n partages encore montés)</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>some shares broken (%1 of %n share(s) not working)</source>
        <translation>
            <numerusform>certains partages en panne (%1 sur %n partage ne fonctionne pas)</numerusform>
            <numerusform>certains partages en panne (%1 sur %n partages ne fonctionnent pas)</numerusform>
        </translation>
    </message>
    <message>
        <source>Logon Client</source>
        <translation>Client de connexion</translation>
    </message>
</context>
<context>
    <name>main</name>
    <message>
        <source>quorvane: unknown option &quot;%1&quot;
Try &apos;quorvane --help&apos;.</source>
        <translation>quorvane&#xa0;: option inconnue « %1 »
Essayez « quorvane --help ».</translation>
    </message>
    <message>
        <source>quorvane: a second start will not find this one: %1</source>
        <translation>quorvane&#xa0;: un second lancement ne trouvera pas ce programme&#xa0;: %1</translation>
    </message>
</context>
<context>
    <name>quorvane::AutoRepair</name>
    <message>
        <source>Shares reconnected</source>
        <translation>Partages reconnectés</translation>
    </message>
</context>
<context>
    <name>quorvane::BusyIndicator</name>
    <message>
        <source>Busy</source>
        <translation>Occupé</translation>
    </message>
    <message>
        <source>A logon or logout is running.</source>
        <translation>Une connexion ou une déconnexion est en cours.</translation>
    </message>
</context>
<context>
    <name>quorvane::ContentView</name>
    <message>
        <source>The server did not take the password. Nothing was released. Type your current password and press Logon to reconnect.</source>
        <translation>Le serveur n’a pas accepté le mot de passe. Rien n’a été déconnecté. Saisissez votre mot de passe actuel et appuyez sur «&#xa0;Se connecter&#xa0;» pour reconnecter.</translation>
    </message>
    <message>
        <source>Your password is needed to reconnect. Nothing was released. Type it and press Logon.</source>
        <translation>Votre mot de passe est nécessaire pour reconnecter. Rien n’a été déconnecté. Saisissez-le et appuyez sur «&#xa0;Se connecter&#xa0;».</translation>
    </message>
    <message>
        <source>Unexpected error: %1</source>
        <translation>Erreur inattendue&#xa0;: %1</translation>
    </message>
    <message>
        <source>Unexpected error.</source>
        <translation>Erreur inattendue.</translation>
    </message>
    <message>
        <source>Ends Quorvane; mounted shares stay mounted. Shortcut: %1</source>
        <translation>Quitte Quorvane&#xa0;; les partages montés le restent. Raccourci&#xa0;: %1</translation>
    </message>
    <message>
        <source>The name or address of the file server, for example FS1 or 10.0.0.5.</source>
        <translation>Le nom ou l’adresse du serveur de fichiers, par exemple FS1 ou 10.0.0.5.</translation>
    </message>
    <message>
        <source>Your user name on the server, alone or as DOMAIN\NAME or NAME@DOMAIN.</source>
        <translation>Votre nom d’utilisateur sur le serveur, seul ou sous la forme DOMAINE\NOM ou NOM@DOMAINE.</translation>
    </message>
    <message>
        <source>Your password on the server. Quorvane never stores it.</source>
        <translation>Votre mot de passe sur le serveur. Quorvane ne l’enregistre jamais.</translation>
    </message>
    <message>
        <source>What the last logon or logout did.</source>
        <translation>Le résultat de la dernière connexion ou déconnexion.</translation>
    </message>
    <message>
        <source>Releases every mounted share and removes its folder.</source>
        <translation>Démonte tous les partages montés et supprime leurs dossiers.</translation>
    </message>
    <message>
        <source>Stopping…</source>
        <translation>Arrêt en cours…</translation>
    </message>
    <message>
        <source>Reconnecting the shares that do not work…</source>
        <translation>Reconnexion des partages qui ne fonctionnent pas…</translation>
    </message>
    <message>
        <source>Kerberos ticket of %1</source>
        <translation>Ticket Kerberos de %1</translation>
    </message>
    <message>
        <source>Your password on the server, or empty to log on with your Kerberos ticket of %1. Quorvane never stores it.</source>
        <translation>Votre mot de passe sur le serveur, ou rien pour vous connecter avec votre ticket Kerberos de %1. Quorvane ne l’enregistre jamais.</translation>
    </message>
    <message>
        <source>&amp;Cancel</source>
        <translation>A&amp;nnuler</translation>
    </message>
    <message>
        <source>Mounts the shares that do not work again.</source>
        <translation>Monte de nouveau les partages qui ne fonctionnent pas.</translation>
    </message>
    <message>
        <source>Logs on to the server and mounts your shares.</source>
        <translation>Vous connecte au serveur et monte vos partages.</translation>
    </message>
    <message>
        <source>Stops the running logon. A share mounted halfway is released.</source>
        <translation>Arrête la connexion en cours. Un partage à moitié monté est démonté.</translation>
    </message>
    <message>
        <source>Busy: the logon is stopping.</source>
        <translation>Occupé&#xa0;: la connexion s’arrête.</translation>
    </message>
    <message>
        <source>Busy: the logout is running.</source>
        <translation>Occupé&#xa0;: la déconnexion est en cours.</translation>
    </message>
    <message>
        <source>Logon panel</source>
        <translation>Panneau de connexion</translation>
    </message>
    <message>
        <source>Quorvane logo</source>
        <translation>Logo de Quorvane</translation>
    </message>
    <message>
        <source>Your password on the server. Quorvane keeps it only when Remember is ticked.</source>
        <translation>Votre mot de passe sur le serveur. Quorvane ne le garde que si « Mémoriser » est coché.</translation>
    </message>
    <message>
        <source>Re&amp;member</source>
        <translation>&amp;Mémoriser</translation>
    </message>
    <message>
        <source>Keep the password in the desktop&apos;s secret store, so that Reconnect needs no typing</source>
        <translation>Garder le mot de passe dans le trousseau du bureau, pour que « Reconnecter » se passe de saisie</translation>
    </message>
    <message>
        <source>Remember password</source>
        <translation>Mémoriser le mot de passe</translation>
    </message>
    <message>
        <source>Ready</source>
        <translation>Prêt</translation>
    </message>
    <message>
        <source>Quit Application</source>
        <translation>Quitter l’application</translation>
    </message>
    <message>
        <source>&amp;Server IP or Name:</source>
        <translation>&amp;Serveur (IP ou nom)&#xa0;:</translation>
    </message>
    <message>
        <source>&amp;Username:</source>
        <translation>&amp;Utilisateur&#xa0;:</translation>
    </message>
    <message>
        <source>&amp;Password:</source>
        <translation>Mot de &amp;passe&#xa0;:</translation>
    </message>
    <message>
        <source>Log&amp;out</source>
        <translation>Se &amp;déconnecter</translation>
    </message>
    <message>
        <source>Kerberos ticket</source>
        <translation>Ticket Kerberos</translation>
    </message>
    <message>
        <source>Processing Network Logon Workflows...</source>
        <translation>Connexion au réseau en cours...</translation>
    </message>
    <message>
        <source>Logging out and disconnecting shares...</source>
        <translation>Déconnexion des partages en cours...</translation>
    </message>
    <message>
        <source>&amp;Logon</source>
        <translation>Se &amp;connecter</translation>
    </message>
    <message>
        <source>Quorvane for Linux</source>
        <translation>Quorvane pour Linux</translation>
    </message>
    <message>
        <source>Quorvane for Apple Silicon</source>
        <translation>Quorvane pour Apple Silicon</translation>
    </message>
    <message>
        <source>Log on automatically</source>
        <translation>Connexion automatique</translation>
    </message>
    <message>
        <source>At the desktop&apos;s login, log on with your Kerberos ticket or the remembered password, without the panel</source>
        <translation>À l’ouverture de session, se connecter avec votre ticket Kerberos ou le mot de passe mémorisé, sans le panneau</translation>
    </message>
    <message>
        <source>The server did not take the remembered password, which is forgotten. Type your password and press Logon.</source>
        <translation>Le serveur n’a pas accepté le mot de passe mémorisé, qui est oublié. Saisissez votre mot de passe et appuyez sur «&#xa0;Se connecter&#xa0;».</translation>
    </message>
    <message>
        <source>No Kerberos ticket and no remembered password: type your password and press Logon.</source>
        <translation>Aucun ticket Kerberos ni mot de passe mémorisé&#xa0;: saisissez votre mot de passe et appuyez sur «&#xa0;Se connecter&#xa0;».</translation>
    </message>
</context>
<context>
    <name>quorvane::TrayController</name>
    <message>
        <source>No shares mounted</source>
        <translation>Aucun partage monté</translation>
    </message>
    <message>
        <source>Open %1</source>
        <translation>Ouvrir %1</translation>
    </message>
    <message>
        <source>Reconnect</source>
        <translation>Reconnecter</translation>
    </message>
    <message>
        <source>Mount the shares that do not work again</source>
        <translation>Monter de nouveau les partages qui ne fonctionnent pas</translation>
    </message>
    <message>
        <source>Logon…</source>
        <translation>Se connecter…</translation>
    </message>
    <message>
        <source>Logout</source>
        <translation>Se déconnecter</translation>
    </message>
    <message>
        <source>Start at login</source>
        <translation>Lancer à l’ouverture de session</translation>
    </message>
    <message>
        <source>Quit</source>
        <translation>Quitter</translation>
    </message>
</context>
</TS>
