# VW_DEB_FLAGS: compile and link with the flags Debian's hardening asks for (dpkg-buildflags with every
# hardening feature), as the .deb is built. The default preset has it on, so the tree its tests run in is the
# one scripts/package.sh makes the .deb from: the project is compiled once for both.
option(VW_DEB_FLAGS "Compile and link with Debian's hardening flags (dpkg-buildflags)" OFF)
if(VW_DEB_FLAGS)
  find_program(VW_DPKG_BUILDFLAGS dpkg-buildflags)
  if(NOT VW_DPKG_BUILDFLAGS)
    message(FATAL_ERROR "VW_DEB_FLAGS needs dpkg-buildflags (Debian's dpkg-dev); configure with "
                        "-DVW_DEB_FLAGS=OFF where there is none")
  endif()
  set(vw_deb_flags)
  foreach(kind CPPFLAGS CXXFLAGS LDFLAGS)
    execute_process(
      COMMAND ${CMAKE_COMMAND} -E env DEB_BUILD_MAINT_OPTIONS=hardening=+all ${VW_DPKG_BUILDFLAGS} --get ${kind}
      WORKING_DIRECTORY ${PROJECT_SOURCE_DIR}
      OUTPUT_VARIABLE vw_deb_${kind}
      OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
  endforeach()
  # Ahead of the build type's own flags (RelWithDebInfo: -O2 -g, stripped when packaged); no compiler
  # version stamped into the programs, so the same sources give the same package.
  string(PREPEND CMAKE_CXX_FLAGS "${vw_deb_CPPFLAGS} ${vw_deb_CXXFLAGS} -fno-ident ")
  string(PREPEND CMAKE_EXE_LINKER_FLAGS "${vw_deb_LDFLAGS} ")
endif()
