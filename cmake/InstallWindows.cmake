# The Windows program as a folder that runs where it is unpacked: update.exe at its root with
# the Qt libraries, the plugins Qt loads at run time in their own subfolders, and the compiler's
# runtime libraries beside it.
install(TARGETS update RUNTIME DESTINATION .)

foreach(module Core Gui Widgets Network Svg)
  if(TARGET Qt6::${module})
    install(FILES $<TARGET_FILE:Qt6::${module}> DESTINATION .)
  endif()
endforeach()

# Only the plugins this program needs: the platform, the TLS backend, the native styles and
# the SVG readers of the icons; whichever of them this Qt was built with.
foreach(plugin QWindowsIntegrationPlugin QSchannelBackendPlugin QCertOnlyBackendPlugin
               QWindowsVistaStylePlugin QModernWindowsStylePlugin QSvgPlugin QSvgIconPlugin)
  if(TARGET Qt6::${plugin})
    get_target_property(type Qt6::${plugin} QT_PLUGIN_TYPE)
    install(FILES $<TARGET_FILE:Qt6::${plugin}> DESTINATION ${type})
  endif()
endforeach()

# MinGW's C++ runtime, found where the cross compiler keeps it.
if(MINGW)
  get_filename_component(compiler_dir ${CMAKE_CXX_COMPILER} DIRECTORY)
  foreach(dll libstdc++-6.dll libgcc_s_seh-1.dll libwinpthread-1.dll)
    execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=${dll}
                    OUTPUT_VARIABLE found OUTPUT_STRIP_TRAILING_WHITESPACE)
    if(NOT IS_ABSOLUTE "${found}")
      find_file(found ${dll} HINTS ${compiler_dir} /usr/x86_64-w64-mingw32/lib NO_CACHE)
    endif()
    if(EXISTS "${found}")
      install(FILES ${found} DESTINATION .)
    else()
      message(WARNING "${dll} not found; the ZIP will not start without it")
    endif()
    unset(found)
  endforeach()
endif()
