# The game is built as Debian builds its own packages (dpkg-buildflags with
# DEB_BUILD_MAINT_OPTIONS=hardening=+all), so the .deb passes hardening-check and lintian:
# PIE, stack protector, fortified libc calls, stack clash and control-flow protection, and
# relocations made read-only after every symbol is bound at start.
# Debian 12's dpkg-buildflags leaves out the stack clash and control-flow flags (they came with
# dpkg 1.22), and its gcc makes none of these the default but PIE, so each is named here.
# Kromi.exe gets none of them: mingw's ld already marks it for ASLR, high-entropy ASLR and DEP,
# and its stack protector and fortify functions would bring in mingw's libssp.
option(KROMI_HARDEN "Build with Debian's hardening flags (not with the sanitizers, not for Windows)" ON)

# The sanitizers replace the very libc calls that fortify checks, and bring their own checks. The
# page's WebAssembly has no return addresses in its memory and no executable pages to protect.
if(NOT KROMI_HARDEN OR WIN32 OR EMSCRIPTEN OR KROMI_SANITIZE OR KROMI_TSAN)
  return()
endif()

add_compile_options(-fPIE -fstack-protector-strong -fstack-clash-protection -fcf-protection
                    -Wformat -Werror=format-security)
add_link_options(-pie LINKER:-z,relro LINKER:-z,now)
# glibc's fortified calls need optimisation, and without it only warn: not in Debug builds.
add_compile_definitions($<$<CONFIG:Release,RelWithDebInfo,MinSizeRel>:_FORTIFY_SOURCE=2>)
