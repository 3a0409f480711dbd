# The Windows build, cross-compiled with MinGW-w64 (./run windows): where the
# programs land, what they need beside them, and how the tests run under Wine.
# Included by the top-level CMakeLists.txt once Qt is found.

# A portable folder: the programs sit at its top, beside their DLLs. (Qt has
# already included GNUInstallDirs, so this hides its cached "bin".)
set(CMAKE_INSTALL_BINDIR .)

# The MinGW runtime the programs link dynamically.
set(SENSOR_MONITOR_MINGW_RUNTIME)
foreach(dll libstdc++-6.dll libgcc_s_seh-1.dll libwinpthread-1.dll)
    execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=${dll}
                    OUTPUT_VARIABLE path OUTPUT_STRIP_TRAILING_WHITESPACE)
    if(NOT IS_ABSOLUTE "${path}" OR NOT EXISTS "${path}")
        message(FATAL_ERROR "${CMAKE_CXX_COMPILER} does not know where ${dll} is")
    endif()
    get_filename_component(path "${path}" REALPATH)
    list(APPEND SENSOR_MONITOR_MINGW_RUNTIME ${path})
endforeach()

set(SENSOR_MONITOR_QT_PREFIX "${QT6_INSTALL_PREFIX}")

# libmosquitto: the one tools/windows/build-mosquitto.sh builds once into the
# cache (without TLS), unless SENSOR_MONITOR_MOSQUITTO_PREFIX names another.
set(SENSOR_MONITOR_MOSQUITTO_PREFIX "" CACHE PATH "Where libmosquitto for Windows is installed (bin/, include/, lib/)")
if(CMAKE_CROSSCOMPILING AND NOT SENSOR_MONITOR_MOSQUITTO_PREFIX)
    execute_process(COMMAND ${PROJECT_SOURCE_DIR}/tools/windows/build-mosquitto.sh
                    OUTPUT_VARIABLE recipe_prefix OUTPUT_STRIP_TRAILING_WHITESPACE
                    RESULT_VARIABLE recipe_status)
    if(NOT recipe_status EQUAL 0)
        message(FATAL_ERROR "tools/windows/build-mosquitto.sh failed; see its output above")
    endif()
    set(SENSOR_MONITOR_MOSQUITTO_PREFIX ${recipe_prefix} CACHE PATH "" FORCE)
endif()

if(CMAKE_CROSSCOMPILING)
    # CTest starts the test programs through Wine; they find the Qt, MQTT and
    # MinGW DLLs through WINEPATH.
    set(CMAKE_CROSSCOMPILING_EMULATOR ${PROJECT_SOURCE_DIR}/tools/windows/wine-test.sh)
    set(dll_dirs "${SENSOR_MONITOR_QT_PREFIX}/bin" "${SENSOR_MONITOR_MOSQUITTO_PREFIX}/bin")
    foreach(dll IN LISTS SENSOR_MONITOR_MINGW_RUNTIME)
        get_filename_component(dir "${dll}" DIRECTORY)
        list(APPEND dll_dirs "${dir}")
    endforeach()
    list(REMOVE_DUPLICATES dll_dirs)
    string(REPLACE ";" ":" dll_dirs "${dll_dirs}")
    set(sensor_monitor_wine_environment_dlls "SENSOR_MONITOR_DLL_DIRS=${dll_dirs}")
    set(sensor_monitor_wine_environment "WINEPREFIX=${CMAKE_BINARY_DIR}/wine/tests" ${sensor_monitor_wine_environment_dlls})
    # For the tools that run a program under Wine outside CTest.
    file(WRITE ${CMAKE_BINARY_DIR}/wine-dll-dirs.txt "${sensor_monitor_wine_environment_dlls}\n")
endif()
