# What a Qt program built here needs beside it to start on Windows: the Qt libraries, the
# platform, style and TLS plugins, and the MinGW runtime. Copied into the target's folder
# after each link, so the build folder itself runs under Wine and ships as it is.
function(corvalite_deploy_qt target)
  get_target_property(qt_core_dll Qt6::Core IMPORTED_LOCATION_RELEASE)
  if(NOT qt_core_dll)
    get_target_property(qt_core_dll Qt6::Core IMPORTED_LOCATION)
  endif()
  get_filename_component(qt_bin ${qt_core_dll} DIRECTORY)
  get_filename_component(qt_prefix ${qt_bin} DIRECTORY)
  set(plugins ${qt_prefix}/plugins)

  execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=libstdc++-6.dll
                  OUTPUT_VARIABLE libstdcxx OUTPUT_STRIP_TRAILING_WHITESPACE)
  execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=libgcc_s_seh-1.dll
                  OUTPUT_VARIABLE libgcc OUTPUT_STRIP_TRAILING_WHITESPACE)
  find_file(libwinpthread libwinpthread-1.dll PATHS /usr/x86_64-w64-mingw32/lib
            NO_CMAKE_FIND_ROOT_PATH REQUIRED)

  set(dir $<TARGET_FILE_DIR:${target}>)
  set(libraries ${qt_bin}/Qt6Core.dll ${qt_bin}/Qt6Gui.dll ${qt_bin}/Qt6Widgets.dll
      ${qt_bin}/Qt6Network.dll ${libstdcxx} ${libgcc} ${libwinpthread})
  if(EXISTS ${qt_bin}/Qt6Test.dll)
    list(APPEND libraries ${qt_bin}/Qt6Test.dll)  # for the test programs sharing the folder
  endif()
  add_custom_command(TARGET ${target} POST_BUILD
    COMMAND ${CMAKE_COMMAND} -E make_directory ${dir}/platforms ${dir}/styles ${dir}/tls ${dir}/imageformats
    COMMAND ${CMAKE_COMMAND} -E copy_if_different ${libraries} ${dir}
    COMMAND ${CMAKE_COMMAND} -E copy_if_different ${plugins}/platforms/qwindows.dll
            ${plugins}/platforms/qoffscreen.dll ${plugins}/platforms/qminimal.dll ${dir}/platforms
    COMMAND ${CMAKE_COMMAND} -E copy_if_different ${plugins}/styles/qwindowsvistastyle.dll ${dir}/styles
    COMMAND ${CMAKE_COMMAND} -E copy_if_different ${plugins}/tls/qschannelbackend.dll
            ${plugins}/tls/qcertonlybackend.dll ${dir}/tls
    COMMAND ${CMAKE_COMMAND} -E copy_if_different ${plugins}/imageformats/qico.dll ${dir}/imageformats
    VERBATIM)
endfunction()
