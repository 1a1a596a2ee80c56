# `make package`: a Debian package of the installed layout (cmake/Install.cmake) with CPack.
# The libraries it needs (Qt 6 with Qt Charts, SQLite, libX11) are found by dpkg-shlibdeps;
# ffmpeg, run as a program, is named here.
set(VANTAQ_RELEASE_DATE 2026-12-07)
set(VANTAQ_RELEASE_DATE_RFC2822 "Mon, 07 Dec 2026 12:00:00 +0000")
set(VANTAQ_PACKAGE_MAINTAINER "Vantaq developers <vantaq@example.org>"
    CACHE STRING "Maintainer field of the Debian package")

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME vantaq)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "The Vantaq developers")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "batch front end for an MPEG-2 encoder")
set(CPACK_PACKAGE_DESCRIPTION
    "Vantaq keeps a persistent queue of MPEG-2 encode jobs and works through it
unattended, one job after another: for each job it writes an encoder control
list, runs the encoder on it and optionally applies its own 2:3 soft-pulldown
pass to the produced video stream. The package holds the window program, the
pulldown, stream report and key store command-line tools, and a stand-in
runner and encoder that encode with ffmpeg.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${VANTAQ_PACKAGE_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_SECTION video)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "ffmpeg")
# The help file is opened with the desktop's handler; vantaq-author runs dvdauthor, mplex
# (mjpegtools) and genisoimage, or xorriso when genisoimage is missing.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "xdg-utils, dvdauthor, mjpegtools, xorriso, genisoimage")
# The Slurm client commands, for running the queue on a cluster.
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "slurm-client")
include(CPack)
