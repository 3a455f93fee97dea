# The Debian package a store installs on a terminal (scripts/package): the host, the package
# library and its siblings and qelstore, all in one folder under /opt, since the screen reads
# its cache files and writes its sales file beside the executable. Dados/ is writable by the
# group qelpos (made by the package's postinst); the programs' folder is root's.
set(QEL_PACKAGE_ROOT /opt/qelpos)

install(TARGETS qelpos qelstore Lum00071 screenservices qelservices platform
        RUNTIME DESTINATION . LIBRARY DESTINATION .)
install(DIRECTORY DESTINATION Dados/Cadastros)
install(FILES packaging/qelpos.desktop DESTINATION /usr/share/applications)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME qelpos)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "Equipe QEL <suporte@qel.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Frente de caixa QEL com o Registro Manual de Vendas")
set(CPACK_PACKAGE_DESCRIPTION
    "Point-of-sale front end (qelpos) with the manual sales register screen, its sibling\n\
libraries and the store tool qelstore. Installed in ${QEL_PACKAGE_ROOT}.")
set(CPACK_PACKAGING_INSTALL_PREFIX ${QEL_PACKAGE_ROOT})
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION misc)
# The Qt libraries the programs link come from dpkg-shlibdeps; the database drivers and the
# display plug-ins are loaded at run time, so they are named here, and adduser for the group
# the post-install script makes.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS ${CMAKE_BINARY_DIR}/bin)
set(CPACK_DEBIAN_PACKAGE_DEPENDS
    "libqt6sql6-sqlite, libqt6sql6-psql, qt6-qpa-plugins, fonts-dejavu-core, adduser")
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "postgresql")
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${CMAKE_SOURCE_DIR}/packaging/postinst)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
include(CPack)
