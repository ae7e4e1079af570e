# Desktop integration: the menu entry and its icon for the freedesktop icon theme.
install(FILES ${PROJECT_SOURCE_DIR}/packaging/zeph.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${PROJECT_SOURCE_DIR}/packaging/zeph.png
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/32x32/apps)
