<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="de">
<context>
    <name>Failure</name>
    <message>
        <source>Floating point overflow</source>
        <translation>Gleitkommaüberlauf</translation>
    </message>
    <message>
        <source>Invalid floating point operation</source>
        <translation>Ungültige Gleitkommaoperation</translation>
    </message>
    <message>
        <source>Range check error</source>
        <translation>Fehler bei der Bereichsprüfung</translation>
    </message>
    <message>
        <source>&apos;%s&apos; is not a valid floating point value</source>
        <translation>„%s“ ist kein gültiger Gleitkommawert</translation>
    </message>
    <message>
        <source> (write it as %s)</source>
        <extracomment>Follows the invalid-number message where the decimal separator is not &quot;.&quot;; %s is 0.5 written with this user&apos;s separator. Leave it untranslated where it is not wanted.</extracomment>
        <translation> – bitte mit Dezimalkomma schreiben, z. B. %s</translation>
    </message>
    <message>
        <source>Out of memory</source>
        <translation>Nicht genügend Arbeitsspeicher</translation>
    </message>
    <message>
        <source>Cannot open file %s</source>
        <translation>Datei %s kann nicht geöffnet werden</translation>
    </message>
    <message>
        <source>Stream read error</source>
        <translation>Fehler beim Lesen des Datenstroms</translation>
    </message>
    <message>
        <source>Text exceeds memo capacity</source>
        <translation>Der Text ist zu groß für das Textfeld</translation>
    </message>
    <message>
        <source>.</source>
        <extracomment>The full stop the error display puts after a message that does not end in one.</extracomment>
        <translation>.</translation>
    </message>
    <message>
        <source>Unknown failure</source>
        <translation>Unbekannter Fehler</translation>
    </message>
    <message>
        <source>Invalid image size</source>
        <translation>Ungültige Bildgröße</translation>
    </message>
    <message>
        <source>Unable to Replace Image</source>
        <translation>Bild kann nicht ersetzt werden</translation>
    </message>
    <message>
        <source>Not enough timers available</source>
        <translation>Nicht genügend Zeitgeber verfügbar</translation>
    </message>
    <message>
        <source>Control &apos;%s&apos; has no parent window</source>
        <translation>Steuerelement „%s“ hat kein übergeordnetes Fenster</translation>
    </message>
    <message>
        <source>Not enough memory to copy the selection</source>
        <translation>Nicht genügend Arbeitsspeicher, um die Auswahl zu kopieren</translation>
    </message>
</context>
<context>
    <name>TAboutForm</name>
    <message>
        <source>About</source>
        <translation>Über</translation>
    </message>
    <message>
        <source>Version 1.0, a tail viewer for Linux</source>
        <translation>Version 1.0, Dateiende-Anzeige für Linux</translation>
    </message>
    <message>
        <source>© 2026 The Kestrun team</source>
        <translation>© 2026 Das Kestrun-Team</translation>
    </message>
    <message>
        <source>OK</source>
        <translation>OK</translation>
    </message>
</context>
<context>
    <name>TDecorationAccessible</name>
    <message>
        <source>Decorative</source>
        <translation>Nur zur Zierde</translation>
    </message>
</context>
<context>
    <name>TForm1</name>
    <message>
        <source>File tail</source>
        <translation>Dateiende</translation>
    </message>
    <message>
        <source>Open file</source>
        <translation>Datei öffnen</translation>
    </message>
    <message>
        <source>Choose a file and show its last megabytes</source>
        <translation>Eine Datei wählen und ihre letzten Megabytes anzeigen</translation>
    </message>
    <message>
        <source>Last MB to open</source>
        <translation>MB vom Dateiende</translation>
    </message>
    <message>
        <source>About Kestrun</source>
        <translation>Über Kestrun</translation>
    </message>
    <message>
        <source>Showing %1, lines: %L2.</source>
        <translation>Angezeigt: %1, Zeilen: %L2.</translation>
    </message>
</context>
</TS>
