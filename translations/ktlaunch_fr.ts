<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="fr_FR">
<context>
    <name>CommandLine</name>
    <message>
        <source>Installed %1</source>
        <translation>Installé : %1</translation>
    </message>
    <message>
        <source>&apos;%1&apos; cannot be combined with &apos;%2&apos;</source>
        <translation>« %1 » ne peut pas être combiné avec « %2 »</translation>
    </message>
    <message>
        <source>unknown option &apos;%1&apos; (see KTLaunch --help)</source>
        <translation>option inconnue « %1 » (voir KTLaunch --help)</translation>
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
        <translation>Utilisation : KTLaunch [--launch | --install-desktop-entry | --help | --version]
Le lanceur et l&apos;éditeur de préférences de Karthos, dans le dossier du jeu.
  (aucune)     ouvrir la fenêtre des préférences
  --launch     lancer le jeu avec ses réglages enregistrés, sans la fenêtre
  --install-desktop-entry
               ajouter le lanceur au menu du bureau
  -h, --help   afficher ce texte
  --version    afficher la version
</translation>
    </message>
</context>
<context>
    <name>DesktopEntry</name>
    <message>
        <source>Karthos Preferences</source>
        <translation>Préférences de Karthos</translation>
    </message>
    <message>
        <source>Set up the display and the language of Karthos, and start the game</source>
        <translation>Régler l&apos;affichage et la langue de Karthos, et lancer le jeu</translation>
    </message>
    <message>
        <source>Play</source>
        <translation>Jouer</translation>
    </message>
</context>
<context>
    <name>Display</name>
    <message>
        <source>no X11 or Wayland display to show the window on: start KTLaunch from a desktop session, or set DISPLAY (or WAYLAND_DISPLAY)</source>
        <translation>aucun affichage X11 ou Wayland où montrer la fenêtre : lancez KTLaunch depuis une session de bureau, ou définissez DISPLAY (ou WAYLAND_DISPLAY)</translation>
    </message>
    <message>
        <source>the display did not answer: the window cannot be shown</source>
        <translation>l&apos;affichage ne répond pas : la fenêtre ne peut pas être montrée</translation>
    </message>
    <message>
        <source>the stack limit (ulimit -s) is below 256 KiB: the window cannot be shown</source>
        <translation>la limite de pile (ulimit -s) est inférieure à 256 Kio : la fenêtre ne peut pas être montrée</translation>
    </message>
    <message>
        <source>no threads can be started for the window (%1): see the limits of processes (ulimit -u) and of memory (ulimit -v)</source>
        <translation>aucun thread ne peut être lancé pour la fenêtre (%1) : voyez les limites de processus (ulimit -u) et de mémoire (ulimit -v)</translation>
    </message>
    <message>
        <source>the display has %1-bit colour: the window needs at least 16 bits</source>
        <translation>l&apos;affichage est en couleurs %1 bits : la fenêtre en demande au moins 16</translation>
    </message>
</context>
<context>
    <name>Error</name>
    <message>
        <source>Out of memory</source>
        <translation>Mémoire insuffisante</translation>
    </message>
    <message>
        <source>Unable to create Karthos.prefs
%s: %s</source>
        <translation>Impossible de créer Karthos.prefs
%s : %s</translation>
    </message>
    <message>
        <source>Unable to read Karthos.prefs
%s: %s</source>
        <translation>Impossible de lire Karthos.prefs
%s : %s</translation>
    </message>
    <message>
        <source>Unable to find the launcher&apos;s directory
%s</source>
        <translation>Impossible de trouver le dossier du lanceur
%s</translation>
    </message>
    <message>
        <source>Unable to create GUI</source>
        <translation>Impossible de créer l&apos;interface</translation>
    </message>
    <message>
        <source>Unable to open the GUI</source>
        <translation>Impossible d&apos;ouvrir l&apos;interface</translation>
    </message>
    <message>
        <source>standard input</source>
        <translation>entrée standard</translation>
    </message>
    <message>
        <source>standard output</source>
        <translation>sortie standard</translation>
    </message>
    <message>
        <source>standard error</source>
        <translation>sortie d&apos;erreur standard</translation>
    </message>
    <message>
        <source>Unable to launch Karthos
%s: %s</source>
        <translation>Impossible de lancer Karthos
%s : %s</translation>
    </message>
    <message>
        <source>Unable to open &apos;%s&apos;, version %ld+</source>
        <translation>Impossible d&apos;ouvrir « %s », version %ld+</translation>
    </message>
    <message>
        <source>Unable to obtain the main interface for %s</source>
        <translation>Impossible d&apos;obtenir l&apos;interface principale de %s</translation>
    </message>
    <message>
        <source>Error</source>
        <translation>Erreur</translation>
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
        <translation>anglais</translation>
    </message>
    <message>
        <source>german</source>
        <translation>allemand</translation>
    </message>
    <message>
        <source>french</source>
        <translation>français</translation>
    </message>
    <message>
        <source>Software</source>
        <translation>Logiciel</translation>
    </message>
    <message>
        <source>Vexel</source>
        <translation>Vexel</translation>
    </message>
    <message>
        <source>Karthos Preferences</source>
        <translation>Préférences de Karthos</translation>
    </message>
    <message>
        <source>Sets up the display and the language of Karthos, and starts the game</source>
        <translation>Règle l&apos;affichage et la langue de Karthos, et lance le jeu</translation>
    </message>
    <message>
        <source>Karthos Preferences © 2017 The Karthos Team</source>
        <translation>Préférences de Karthos © 2017 The Karthos Team</translation>
    </message>
    <message>
        <source>D-pad: move  {confirm}: select  {cancel}: back  {start}: save &amp; launch  {back}: save &amp; quit</source>
        <translation>Croix : déplacer  {confirm} : choisir  {cancel} : retour  {start} : enregistrer et lancer  {back} : enregistrer et quitter</translation>
    </message>
    <message>
        <source>Display modes</source>
        <translation>Modes d&apos;affichage</translation>
    </message>
    <message>
        <source>The desktop offers no display mode that fits.</source>
        <translation>Le bureau ne propose aucun mode d&apos;affichage adapté.</translation>
    </message>
    <message>
        <source>The desktop chooses the display mode; this is its current mode.</source>
        <translation>Le bureau choisit le mode d&apos;affichage ; voici son mode actuel.</translation>
    </message>
    <message>
        <source>Screen mode: </source>
        <translation>Mode d&apos;affichage : </translation>
    </message>
    <message>
        <source>Pick a screenmode</source>
        <translation>Choisir un mode d&apos;affichage</translation>
    </message>
    <message>
        <source>Pick a screen mode</source>
        <translation>Choisir un mode d&apos;affichage</translation>
    </message>
    <message>
        <source>Screen mode</source>
        <translation>Mode d&apos;affichage</translation>
    </message>
    <message>
        <source>vSync</source>
        <translation>Synchro verticale</translation>
    </message>
    <message>
        <source>Windowed</source>
        <translation>Fenêtré</translation>
    </message>
    <message>
        <source>showFPS</source>
        <translation>Afficher les FPS</translation>
    </message>
    <message>
        <source>Render Mode</source>
        <translation>Mode de rendu</translation>
    </message>
    <message>
        <source>Language</source>
        <translation>Langue</translation>
    </message>
    <message>
        <source>Display</source>
        <translation>Affichage</translation>
    </message>
    <message>
        <source>Save &amp; _Launch</source>
        <translation>Enregistrer et _lancer</translation>
    </message>
    <message>
        <source>_Save &amp; Quit</source>
        <translation>_Enregistrer et quitter</translation>
    </message>
    <message>
        <source>Quit</source>
        <translation>Quitter</translation>
    </message>
    <message>
        <source>The graphics card the game runs on</source>
        <translation>La carte graphique sur laquelle tourne le jeu</translation>
    </message>
    <message>
        <source>Graphics Card</source>
        <translation>Carte graphique</translation>
    </message>
    <message>
        <source>Game Mode</source>
        <translation>Mode jeu</translation>
    </message>
    <message>
        <source>Let GameMode tune the system while the game runs</source>
        <translation>GameMode optimise le système pendant que le jeu tourne</translation>
    </message>
    <message>
        <source>GameMode did not register Karthos</source>
        <translation>GameMode n&apos;a pas enregistré Karthos</translation>
    </message>
</context>
</TS>
