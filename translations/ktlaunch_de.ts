<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="de_DE">
<context>
    <name>CommandLine</name>
    <message>
        <source>Installed %1</source>
        <translation>Installiert: %1</translation>
    </message>
    <message>
        <source>&apos;%1&apos; cannot be combined with &apos;%2&apos;</source>
        <translation>„%1“ kann nicht mit „%2“ kombiniert werden</translation>
    </message>
    <message>
        <source>unknown option &apos;%1&apos; (see KTLaunch --help)</source>
        <translation>unbekannte Option „%1“ (siehe KTLaunch --help)</translation>
    </message>
    <message>
        <source>Usage: KTLaunch [--launch | --install-desktop-entry | --help | --version]
The launcher and preferences editor of Karthos, in the game&apos;s directory.
  (no option)  open the preferences window
  --launch     start the game on its stored settings, without the window
  --install-desktop-entry
               add the launcher to your desktop&apos;s menu
  -h, --help   show this text
  --version    show the version
</source>
        <translation>Aufruf: KTLaunch [--launch | --install-desktop-entry | --help | --version]
Starter und Einstellungen von Karthos, im Verzeichnis des Spiels.
  (keine)      das Einstellungsfenster öffnen
  --launch     das Spiel mit den gespeicherten Einstellungen starten, ohne Fenster
  --install-desktop-entry
               den Starter ins Menü der Arbeitsumgebung aufnehmen
  -h, --help   diesen Text zeigen
  --version    die Version zeigen
</translation>
    </message>
</context>
<context>
    <name>DesktopEntry</name>
    <message>
        <source>Karthos Preferences</source>
        <translation>Karthos-Einstellungen</translation>
    </message>
    <message>
        <source>Set up the display and the language of Karthos, and start the game</source>
        <translation>Anzeige und Sprache von Karthos einstellen und das Spiel starten</translation>
    </message>
    <message>
        <source>Play</source>
        <translation>Spielen</translation>
    </message>
</context>
<context>
    <name>Display</name>
    <message>
        <source>no X11 or Wayland display to show the window on: start KTLaunch from a desktop session, or set DISPLAY (or WAYLAND_DISPLAY)</source>
        <translation>keine X11- oder Wayland-Anzeige für das Fenster: KTLaunch aus einer Desktop-Sitzung starten oder DISPLAY (bzw. WAYLAND_DISPLAY) setzen</translation>
    </message>
    <message>
        <source>the display did not answer: the window cannot be shown</source>
        <translation>die Anzeige antwortet nicht: das Fenster kann nicht gezeigt werden</translation>
    </message>
    <message>
        <source>the stack limit (ulimit -s) is below 256 KiB: the window cannot be shown</source>
        <translation>die Stapelgrenze (ulimit -s) liegt unter 256 KiB: das Fenster kann nicht gezeigt werden</translation>
    </message>
    <message>
        <source>no threads can be started for the window (%1): see the limits of processes (ulimit -u) and of memory (ulimit -v)</source>
        <translation>für das Fenster lassen sich keine Threads starten (%1): siehe die Grenzen für Prozesse (ulimit -u) und Speicher (ulimit -v)</translation>
    </message>
    <message>
        <source>the display has %1-bit colour: the window needs at least 16 bits</source>
        <translation>die Anzeige hat %1-Bit-Farbe: das Fenster braucht mindestens 16 Bit</translation>
    </message>
</context>
<context>
    <name>Error</name>
    <message>
        <source>Out of memory</source>
        <translation>Nicht genügend Speicher</translation>
    </message>
    <message>
        <source>Unable to create Karthos.prefs
%s: %s</source>
        <translation>Karthos.prefs kann nicht angelegt werden
%s: %s</translation>
    </message>
    <message>
        <source>Unable to read Karthos.prefs
%s: %s</source>
        <translation>Karthos.prefs kann nicht gelesen werden
%s: %s</translation>
    </message>
    <message>
        <source>Unable to find the launcher&apos;s directory
%s</source>
        <translation>Das Verzeichnis des Starters ist nicht zu finden
%s</translation>
    </message>
    <message>
        <source>Unable to create GUI</source>
        <translation>Die Oberfläche kann nicht erstellt werden</translation>
    </message>
    <message>
        <source>Unable to open the GUI</source>
        <translation>Die Oberfläche kann nicht geöffnet werden</translation>
    </message>
    <message>
        <source>standard input</source>
        <translation>Standardeingabe</translation>
    </message>
    <message>
        <source>standard output</source>
        <translation>Standardausgabe</translation>
    </message>
    <message>
        <source>standard error</source>
        <translation>Standardfehlerausgabe</translation>
    </message>
    <message>
        <source>Unable to launch Karthos
%s: %s</source>
        <translation>Karthos kann nicht gestartet werden
%s: %s</translation>
    </message>
    <message>
        <source>Unable to open &apos;%s&apos;, version %ld+</source>
        <translation>„%s“, Version %ld+, kann nicht geöffnet werden</translation>
    </message>
    <message>
        <source>Unable to obtain the main interface for %s</source>
        <translation>Die Hauptschnittstelle von %s ist nicht verfügbar</translation>
    </message>
    <message>
        <source>Error</source>
        <translation>Fehler</translation>
    </message>
    <message>
        <source>OK</source>
        <translation>OK</translation>
    </message>
</context>
<context>
    <name>Window</name>
    <message>
        <source>english</source>
        <translation>Englisch</translation>
    </message>
    <message>
        <source>german</source>
        <translation>Deutsch</translation>
    </message>
    <message>
        <source>french</source>
        <translation>Französisch</translation>
    </message>
    <message>
        <source>Software</source>
        <translation>Software</translation>
    </message>
    <message>
        <source>Vexel</source>
        <translation>Vexel</translation>
    </message>
    <message>
        <source>Karthos Preferences</source>
        <translation>Karthos-Einstellungen</translation>
    </message>
    <message>
        <source>Sets up the display and the language of Karthos, and starts the game</source>
        <translation>Stellt Anzeige und Sprache von Karthos ein und startet das Spiel</translation>
    </message>
    <message>
        <source>Karthos Preferences © 2017 The Karthos Team</source>
        <translation>Karthos-Einstellungen © 2017 The Karthos Team</translation>
    </message>
    <message>
        <source>D-pad: move  {confirm}: select  {cancel}: back  {start}: save &amp; launch  {back}: save &amp; quit</source>
        <translation>Steuerkreuz: bewegen  {confirm}: wählen  {cancel}: zurück  {start}: speichern &amp; starten  {back}: speichern &amp; beenden</translation>
    </message>
    <message>
        <source>Display modes</source>
        <translation>Bildschirmmodi</translation>
    </message>
    <message>
        <source>The desktop offers no display mode that fits.</source>
        <translation>Die Arbeitsumgebung bietet keinen passenden Bildschirmmodus.</translation>
    </message>
    <message>
        <source>The desktop chooses the display mode; this is its current mode.</source>
        <translation>Die Arbeitsumgebung wählt den Bildschirmmodus; dies ist ihr aktueller Modus.</translation>
    </message>
    <message>
        <source>Screen mode: </source>
        <translation>Bildschirmmodus: </translation>
    </message>
    <message>
        <source>Pick a screenmode</source>
        <translation>Bildschirmmodus wählen</translation>
    </message>
    <message>
        <source>Pick a screen mode</source>
        <translation>Bildschirmmodus wählen</translation>
    </message>
    <message>
        <source>Screen mode</source>
        <translation>Bildschirmmodus</translation>
    </message>
    <message>
        <source>vSync</source>
        <translation>vSync</translation>
    </message>
    <message>
        <source>Windowed</source>
        <translation>Im Fenster</translation>
    </message>
    <message>
        <source>showFPS</source>
        <translation>FPS anzeigen</translation>
    </message>
    <message>
        <source>Render Mode</source>
        <translation>Rendermodus</translation>
    </message>
    <message>
        <source>Language</source>
        <translation>Sprache</translation>
    </message>
    <message>
        <source>Display</source>
        <translation>Anzeige</translation>
    </message>
    <message>
        <source>Save &amp; _Launch</source>
        <translation>Speichern &amp; _starten</translation>
    </message>
    <message>
        <source>_Save &amp; Quit</source>
        <translation>Speichern &amp; _beenden</translation>
    </message>
    <message>
        <source>Quit</source>
        <translation>Beenden</translation>
    </message>
    <message>
        <source>The graphics card the game runs on</source>
        <translation>Die Grafikkarte, auf der das Spiel läuft</translation>
    </message>
    <message>
        <source>Graphics Card</source>
        <translation>Grafikkarte</translation>
    </message>
    <message>
        <source>Game Mode</source>
        <translation>Spielmodus</translation>
    </message>
    <message>
        <source>Let GameMode tune the system while the game runs</source>
        <translation>GameMode passt das System an, solange das Spiel läuft</translation>
    </message>
    <message>
        <source>GameMode did not register Karthos</source>
        <translation>GameMode hat Karthos nicht angemeldet</translation>
    </message>
</context>
</TS>
