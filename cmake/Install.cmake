# SPDX-License-Identifier: GPL-3.0-or-later
# `cmake --install`: the programs in bin/, their data in share/quarnel-eval/,
# and the desktop entry, AppStream metadata, icons, man pages and documents
# where the desktop, the software centre and man look for them.
set(QUARNEL_APP_ID com.example.QuarnelEval)
set(desktop_src ${PROJECT_SOURCE_DIR}/resources/desktop)
set(doc_dir ${CMAKE_INSTALL_DATADIR}/doc/${QUARNEL_DATA_NAME})

install(TARGETS quarnel-eval quarnelctl RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES resources/QUARNELFW.Hex resources/MORVANEHelp.htm
        DESTINATION ${CMAKE_INSTALL_DATADIR}/${QUARNEL_DATA_NAME})

install(FILES ${desktop_src}/${QUARNEL_APP_ID}.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${desktop_src}/${QUARNEL_APP_ID}.metainfo.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
install(FILES ${desktop_src}/${QUARNEL_APP_ID}.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)

# The bitmap icons are rendered from the SVG; the man pages are gzipped as
# Debian ships them.
find_program(RSVG_CONVERT rsvg-convert REQUIRED)
find_program(GZIP gzip REQUIRED)
set(generated)
foreach(size 48 256)
  set(png ${CMAKE_BINARY_DIR}/icons/${size}x${size}/${QUARNEL_APP_ID}.png)
  add_custom_command(OUTPUT ${png}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/icons/${size}x${size}
    COMMAND ${RSVG_CONVERT} -w ${size} -h ${size} -o ${png} ${desktop_src}/${QUARNEL_APP_ID}.svg
    DEPENDS ${desktop_src}/${QUARNEL_APP_ID}.svg)
  list(APPEND generated ${png})
  install(FILES ${png} DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps)
endforeach()
# A native package's changelog, gzipped as Debian ships it.
set(changelog ${CMAKE_BINARY_DIR}/debian/changelog.gz)
add_custom_command(OUTPUT ${changelog}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/debian
  COMMAND ${GZIP} -9nc ${PROJECT_SOURCE_DIR}/resources/debian/changelog > ${changelog}
  DEPENDS ${PROJECT_SOURCE_DIR}/resources/debian/changelog)
list(APPEND generated ${changelog})
install(FILES ${changelog} DESTINATION ${doc_dir})
foreach(page quarnelctl.1 quarnel-eval.1)
  set(gz ${CMAKE_BINARY_DIR}/man/${page}.gz)
  add_custom_command(OUTPUT ${gz}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/man
    COMMAND ${GZIP} -9nc ${PROJECT_SOURCE_DIR}/docs/man/${page} > ${gz}
    DEPENDS ${PROJECT_SOURCE_DIR}/docs/man/${page})
  list(APPEND generated ${gz})
  install(FILES ${gz} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endforeach()
add_custom_target(quarnel_install_files ALL DEPENDS ${generated})

# The licence in Debian's machine-readable copyright format.
install(FILES resources/debian/copyright DESTINATION ${doc_dir})
# The README and the manual it links to, with their pictures.
install(FILES README.md DESTINATION ${doc_dir})
file(GLOB manual CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/docs/*.md)
install(FILES ${manual} docs/screenshot.png docs/logreview.png DESTINATION ${doc_dir}/docs)
# The example udev rule for the real board.
install(FILES resources/udev/70-quarnel-eval.rules DESTINATION ${doc_dir}/examples)
# The exporter's examples: a Prometheus scrape configuration, alert rules with
# their tests, and the systemd unit template (one instance per board).
install(FILES resources/prometheus/prometheus.yml resources/prometheus/quarnel-alerts.yml
              resources/prometheus/quarnel-alerts.test.yml
              resources/systemd/quarnel-exporter@.service
        DESTINATION ${doc_dir}/examples)
