# SPDX-License-Identifier: GPL-3.0-or-later
# Runs at install time, from cmake_install.cmake: writes each desktop entry with the full path of
# its program as installed, so that the menu entry starts it even where the install's bin folder is
# not on the desktop session's PATH (~/.local/bin until the next login, say). The install prefix
# is only known now: `cmake --install --prefix` may differ from the one configured.
#
# Set before this runs: FENNOW_PACKAGING_DIR, FENNOW_ENTRY_STAGING, FENNOW_INSTALL_BINDIR,
# FENNOW_INSTALL_DATADIR and FENNOW_DESKTOP_ENTRIES (pairs of entry name and program).

function(fennow_full_path folder result)
  if(IS_ABSOLUTE "${folder}")
    set(${result} "${folder}" PARENT_SCOPE)
  else()
    set(${result} "${CMAKE_INSTALL_PREFIX}/${folder}" PARENT_SCOPE)
  endif()
endfunction()

fennow_full_path("${FENNOW_INSTALL_BINDIR}" bindir)
fennow_full_path("${FENNOW_INSTALL_DATADIR}" datadir)

set(entries ${FENNOW_DESKTOP_ENTRIES})
while(entries)
  list(POP_FRONT entries entry program)
  set(FENNOW_EXEC "${bindir}/${program}")
  # The Exec key gives a path with a space in quotes. Characters the key would need escaped twice
  # over are left out: such a path falls back to the program's name, found on the PATH.
  if(FENNOW_EXEC MATCHES "[\"`$%\\]")
    message(WARNING "${FENNOW_EXEC}: the desktop entry names the program without its folder")
    set(FENNOW_EXEC "${program}")
  elseif(FENNOW_EXEC MATCHES " ")
    set(FENNOW_EXEC "\"${FENNOW_EXEC}\"")
  endif()
  configure_file("${FENNOW_PACKAGING_DIR}/${entry}.desktop.in"
                 "${FENNOW_ENTRY_STAGING}/${entry}.desktop" @ONLY)
  file(INSTALL "${FENNOW_ENTRY_STAGING}/${entry}.desktop"
       DESTINATION "${datadir}/applications")
endwhile()
