# The files an install under /usr holds, relative to the root: what both the staged install and
# the Debian package must contain, nothing more. Sets `cues`, `icon_sizes` and `installed_files`.
set(cues Boom.wav Ny.wav Pot.wav Visa.wav)
set(icon_sizes 16 24 32 48 64 128 256)
set(installed_files
    usr/games/kromi
    usr/lib/games/kromi/kromi
    usr/share/applications/kromi.desktop
    usr/share/doc/kromi/changelog.gz
    usr/share/doc/kromi/copyright
    usr/share/icons/hicolor/scalable/apps/kromi.svg
    usr/share/man/man6/kromi.6.gz
    usr/share/metainfo/org.kromi.kromi.metainfo.xml)
foreach(cue IN LISTS cues)
  list(APPEND installed_files usr/lib/games/kromi/${cue} usr/share/games/kromi/${cue})
endforeach()
foreach(size IN LISTS icon_sizes)
  list(APPEND installed_files usr/share/icons/hicolor/${size}x${size}/apps/kromi.png)
endforeach()
