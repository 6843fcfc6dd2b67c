# The files an install under /usr holds, relative to the root: what both the staged install and
# the Debian package must contain, nothing more. Sets `cues` and `installed_files`.
set(cues Boom.wav Ny.wav Pot.wav Visa.wav)
set(installed_files
    usr/games/kromi
    usr/lib/games/kromi/kromi
    usr/share/applications/kromi.desktop
    usr/share/doc/kromi/changelog.gz
    usr/share/doc/kromi/copyright
    usr/share/icons/hicolor/128x128/apps/kromi.png
    usr/share/icons/hicolor/32x32/apps/kromi.png
    usr/share/icons/hicolor/64x64/apps/kromi.png
    usr/share/man/man6/kromi.6.gz
    usr/share/metainfo/org.kromi.kromi.metainfo.xml)
foreach(cue IN LISTS cues)
  list(APPEND installed_files usr/lib/games/kromi/${cue} usr/share/games/kromi/${cue})
endforeach()
