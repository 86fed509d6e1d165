# The third-party libraries, as Debian installs them. Each becomes one
# interface target so that the rest of the build names them the same way on
# every target platform.

if(WIN32)
  # Cross-compiled with MinGW-w64: jsoncpp is the static build that
  # scripts/build-jsoncpp-mingw.sh installs into the build folder.
  set(ZORVANE_JSONCPP_PREFIX "${CMAKE_BINARY_DIR}/jsoncpp-prefix"
      CACHE PATH "Install prefix of the MinGW build of jsoncpp")
  find_package(jsoncpp CONFIG REQUIRED
    PATHS "${ZORVANE_JSONCPP_PREFIX}" NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH)
  add_library(zorvane_json INTERFACE)
  add_library(zorvane::json ALIAS zorvane_json)
  target_link_libraries(zorvane_json INTERFACE jsoncpp_static)

  # websocketpp and asio are header-only and the same for every target, but
  # the Linux include folder must not reach the MinGW compiler (its C library
  # headers would shadow MinGW's). A build-local folder links just these two.
  set(ZORVANE_HOST_INCLUDE_DIR /usr/include CACHE PATH
      "Where Debian installs the websocketpp and asio headers")
  set(_zorvane_header_dir "${CMAKE_BINARY_DIR}/third-party-include")
  file(MAKE_DIRECTORY "${_zorvane_header_dir}")
  foreach(_entry websocketpp asio asio.hpp)
    if(NOT EXISTS "${ZORVANE_HOST_INCLUDE_DIR}/${_entry}")
      message(FATAL_ERROR "${ZORVANE_HOST_INCLUDE_DIR}/${_entry} is missing: "
                          "install libwebsocketpp-dev and libasio-dev")
    endif()
    file(CREATE_LINK "${ZORVANE_HOST_INCLUDE_DIR}/${_entry}" "${_zorvane_header_dir}/${_entry}"
         SYMBOLIC)
  endforeach()
  add_library(zorvane_websocket INTERFACE)
  add_library(zorvane::websocket ALIAS zorvane_websocket)
  target_include_directories(zorvane_websocket SYSTEM INTERFACE "${_zorvane_header_dir}")
  # websocketpp's own thread detection does not recognise MinGW; asio needs
  # the Windows 10 API level and a windows.h without min/max macros.
  target_compile_definitions(zorvane_websocket INTERFACE
    ASIO_STANDALONE _WEBSOCKETPP_CPP11_THREAD_ _WIN32_WINNT=0x0A00 WIN32_LEAN_AND_MEAN NOMINMAX)
  target_link_libraries(zorvane_websocket INTERFACE ws2_32 mswsock)

  # Pictures: the Windows Imaging Component, part of the system.
  add_library(zorvane_pictures INTERFACE)
  add_library(zorvane::pictures ALIAS zorvane_pictures)
  target_link_libraries(zorvane_pictures INTERFACE windowscodecs ole32 uuid)
  return()
endif()

find_package(jsoncpp CONFIG REQUIRED)
add_library(zorvane_json INTERFACE)
add_library(zorvane::json ALIAS zorvane_json)
target_link_libraries(zorvane_json INTERFACE JsonCpp::JsonCpp)

# websocketpp and standalone asio are header-only.
find_package(websocketpp CONFIG REQUIRED)
find_path(ASIO_INCLUDE_DIR asio.hpp REQUIRED)
add_library(zorvane_websocket INTERFACE)
add_library(zorvane::websocket ALIAS zorvane_websocket)
target_include_directories(zorvane_websocket SYSTEM INTERFACE ${WEBSOCKETPP_INCLUDE_DIR} ${ASIO_INCLUDE_DIR})
target_compile_definitions(zorvane_websocket INTERFACE ASIO_STANDALONE)

# Pictures: libpng, libjpeg-turbo, giflib and libwebp, linked from the static
# archives that Debian's -dev packages install beside the shared libraries.
# Shared, they were mapped and relocated at start-up and made every plug-in
# 0.5 MiB larger before its first picture; from the archives only the pages a
# picture uses are ever loaded. A security update of them reaches this build
# when it is linked again (the Windows build uses the system's decoders).
find_package(PNG REQUIRED)
find_package(JPEG REQUIRED)
find_package(GIF REQUIRED)
find_package(PkgConfig REQUIRED)
pkg_check_modules(WEBP REQUIRED libwebp)
add_library(zorvane_pictures INTERFACE)
add_library(zorvane::pictures ALIAS zorvane_pictures)
target_include_directories(zorvane_pictures SYSTEM INTERFACE
  ${PNG_INCLUDE_DIRS} ${JPEG_INCLUDE_DIRS} ${GIF_INCLUDE_DIRS} ${WEBP_INCLUDE_DIRS})
foreach(archive libpng16.a libjpeg.a libgif.a libwebp.a libz.a)
  string(MAKE_C_IDENTIFIER "ZORVANE_ARCHIVE_${archive}" variable)
  find_library(${variable} ${archive} REQUIRED)
  target_link_libraries(zorvane_pictures INTERFACE ${${variable}})
endforeach()
target_link_libraries(zorvane_pictures INTERFACE m)
