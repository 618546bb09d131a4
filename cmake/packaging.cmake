# The Debian package, made by CPack from the install rules:
#   cpack --config <build>/CPackConfig.cmake   (scripts/package.sh does it)
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME velmor)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Velmor developers")
set(CPACK_PACKAGE_CONTACT "Velmor developers <velmor@packages.invalid>")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "Velmor developers <velmor@packages.invalid>")
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Besides the libraries: the window needs a Qt platform plugin to open at all,
# and a Japanese font for its captions (the form font falls back to IPAPGothic).
# libjxl and the video libraries are loaded when first needed, not linked, so
# the packages that hold the versions the headers describe are named here.
find_package(PkgConfig REQUIRED)
pkg_check_modules(PACKAGED REQUIRED libavcodec libavutil libswscale libjxl)
set(loaded_packages)
foreach(library avcodec avutil swscale)
  string(REGEX MATCH "^[0-9]+" major "${PACKAGED_lib${library}_VERSION}")
  list(APPEND loaded_packages "lib${library}${major}")
endforeach()
string(REGEX MATCH "^[0-9]+\\.[0-9]+" jxl_version "${PACKAGED_libjxl_VERSION}")
if(jxl_version MATCHES "^0\\.")
  list(APPEND loaded_packages "libjxl${jxl_version}")
else()
  string(REGEX MATCH "^[0-9]+" jxl_major "${jxl_version}")
  list(APPEND loaded_packages "libjxl${jxl_major}")
endif()
list(JOIN loaded_packages ", " loaded_packages)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins, ${loaded_packages}")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-ipafont-gothic")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "viewer for DICOM medical image files
Velmor opens one DICOM file at a time and shows in a single window its
header bytes as a hex dump, every header element in a table (tag, VR,
length, dictionary description, value), the header size, and the image
resampled to 256 x 256 with its aspect kept: monochrome images in gray,
windowed by dragging the mouse over it, colour images in colour, and the
frames of a multi-frame file one at a time. Native, deflated, RLE, JPEG
(lossless, baseline, 12-bit), JPEG-LS and JPEG 2000 pixel data are decoded.
The dump and the table can be saved as a text report (Shift-JIS or UTF-8).
.
The command velmor-dump runs the same steps from the command line.")

include(CPack)
