<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en_US">
<context>
    <name>Notices</name>
    <message numerus="yes">
        <source>%1 and %n more</source>
        <translation>
            <numerusform>%1 and %n more</numerusform>
            <numerusform>%1 and %n more</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%n share(s) mounted under ~/smbmounts.</source>
        <translation>
            <numerusform>%n share mounted under ~/smbmounts.</numerusform>
            <numerusform>%n shares mounted under ~/smbmounts.</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>Logged on, %n share(s) not mounted</source>
        <translation>
            <numerusform>Logged on, %n share not mounted</numerusform>
            <numerusform>Logged on, %n shares not mounted</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%n share(s) mounted under ~/smbmounts: %1.</source>
        <translation>
            <numerusform>%n share mounted under ~/smbmounts: %1.</numerusform>
            <numerusform>%n shares mounted under ~/smbmounts: %1.</numerusform>
        </translation>
    </message>
</context>
<context>
    <name>StatusWords</name>
    <message numerus="yes">
        <source>Reconnected %n share(s).</source>
        <translation>
            <numerusform>Reconnected %n share.</numerusform>
            <numerusform>Reconnected %n shares.</numerusform>
        </translation>
    </message>
</context>
<context>
    <name>TrayState</name>
    <message numerus="yes">
        <source>logged off, %n share(s) still mounted</source>
        <translation>
            <numerusform>logged off, %n share still mounted</numerusform>
            <numerusform>logged off, %n shares still mounted</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>logged on, %n share(s) mounted</source>
        <translation>
            <numerusform>logged on, %n share mounted</numerusform>
            <numerusform>logged on, %n shares mounted</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>, %n could not be mounted</source>
        <translation>
            <numerusform>, %n could not be mounted</numerusform>
            <numerusform>, %n could not be mounted</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>some shares could not be released (%n share(s) still mounted)</source>
        <translation>
            <numerusform>some shares could not be released (%n share still mounted)</numerusform>
            <numerusform>some shares could not be released (%n shares still mounted)</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>some shares broken (%1 of %n share(s) not working)</source>
        <translation>
            <numerusform>some shares broken (%1 of %n share not working)</numerusform>
            <numerusform>some shares broken (%1 of %n shares not working)</numerusform>
        </translation>
    </message>
</context>
</TS>
