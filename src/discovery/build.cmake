# zeph-probe: the small helper that sends the scan's ICMP echo requests when the
# program may not open an ICMP socket itself (Debian's default: no ICMP
# datagram sockets for users, raw sockets only with CAP_NET_RAW). Only the
# helper gets cap_net_raw, at install time; it drops it after opening its socket.
set(ZEPH_PROBE_INSTALL_DIR "${CMAKE_INSTALL_LIBEXECDIR}/zeph")
set(ZEPH_PROBE_INSTALLED_PATH "${CMAKE_INSTALL_PREFIX}/${ZEPH_PROBE_INSTALL_DIR}/zeph-probe")

add_executable(zeph-probe
    ${CMAKE_CURRENT_LIST_DIR}/probe-helper/zeph_probe.cpp
    ${CMAKE_CURRENT_LIST_DIR}/icmpecho.cpp)
target_include_directories(zeph-probe PRIVATE ${CMAKE_CURRENT_LIST_DIR}/..)
# A binary with file capabilities runs in secure mode: give it no run path to search.
set_target_properties(zeph-probe PROPERTIES INSTALL_RPATH "" BUILD_RPATH "")
# The program finds the helper beside its own executable (build tree) or here.
set_property(SOURCE ${CMAKE_CURRENT_LIST_DIR}/../platform/echoprobe_linux.cpp APPEND PROPERTY
    COMPILE_DEFINITIONS "ZEPH_PROBE_HELPER_INSTALLED=\"${ZEPH_PROBE_INSTALLED_PATH}\"")
add_dependencies(zeph zeph-probe)

install(TARGETS zeph-probe RUNTIME DESTINATION ${ZEPH_PROBE_INSTALL_DIR})
string(CONFIGURE [[
    set(_probe "$ENV{DESTDIR}${CMAKE_INSTALL_PREFIX}/@ZEPH_PROBE_INSTALL_DIR@/zeph-probe")
    find_program(_setcap setcap PATHS /usr/sbin /sbin)
    if(NOT _setcap)
        message(FATAL_ERROR "setcap not found (package libcap2-bin): ${_probe} needs cap_net_raw+ep")
    endif()
    execute_process(COMMAND ${_setcap} cap_net_raw+ep ${_probe} RESULT_VARIABLE _rc)
    if(_rc EQUAL 0)
        message(STATUS "cap_net_raw+ep: ${_probe}")
    elseif("$ENV{DESTDIR}" STREQUAL "")
        message(FATAL_ERROR "setcap cap_net_raw+ep ${_probe} failed: install as root")
    else()
        message(WARNING "setcap failed in a staged install: the package must run "
                        "'setcap cap_net_raw+ep' on zeph-probe when it is installed")
    endif()
]] ZEPH_PROBE_SETCAP @ONLY)
install(CODE "${ZEPH_PROBE_SETCAP}")
