# `cpack -G DEB` in the build folder makes zandrel_X.Y.Z_ARCH.deb from what
# `cmake --install` lays out. The libraries it needs are computed from the
# programs; the fonts and Qt's Japanese translations are what the window
# loads by name at run time.
set(CPACK_PACKAGE_NAME zandrel)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "zandrel maintainers <maintainers@zandrel.invalid>"
    CACHE STRING "The package's Maintainer line")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "find audio streams inside any file and copy each out")
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "zandrel finds audio streams buried at any byte offset inside arbitrary files
(game archives, memory dumps, disk images, video containers) and copies each
one out into a file of its own: MPEG audio Layer III above all, Ogg Vorbis and
RIFF WAVE too. It logs every stream with its byte range, format, frame count,
bit rate, sampling frequency and length, copies or writes ID3 tags, and shows
the CRC-32 of its inputs.
.
The package holds the Qt window program zandrel, in Japanese, and the command
line program zandrel-cli.")
set(CPACK_DEBIAN_PACKAGE_SECTION sound)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# FFmpeg's libraries are opened when a decoding needs them (export/ffmpeg_libs.h),
# libcrypto when a digest does and libewf when an EWF image does, so the
# programs do not name them.
list(APPEND ZANDREL_FFMPEG_PACKAGES libssl3 libewf2)
list(JOIN ZANDREL_FFMPEG_PACKAGES ", " ffmpeg_packages)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "${ffmpeg_packages}")
if(ZANDREL_GUI)
  set(CPACK_DEBIAN_PACKAGE_DEPENDS "${ffmpeg_packages}, fonts-noto-cjk, qt6-translations-l10n")
  # The media framework through which the tab of results plays outputs.
  set(CPACK_DEBIAN_PACKAGE_RECOMMENDS
      "gstreamer1.0-plugins-base, gstreamer1.0-plugins-good, gstreamer1.0-libav")
endif()
set(CPACK_STRIP_FILES ON)
include(CPack)
