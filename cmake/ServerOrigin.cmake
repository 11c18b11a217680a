# The origin an installed shell starts against: DESK_SERVER_ORIGIN, written to server.json
# beside the program by the packages of both systems. Empty: no server.json is made.
set(DESK_SERVER_ORIGIN "" CACHE STRING
  "Origin an installed shell starts against (written to server.json beside the program), e.g. https://desk.example.com")

# desk_server_json(DIR VAR): writes DIR/server.json for the configured origin and sets VAR to
# its path; sets VAR empty when no origin is configured.
function(desk_server_json dir var)
  set(${var} "" PARENT_SCOPE)
  if(NOT DESK_SERVER_ORIGIN)
    return()
  endif()
  # The shell would refuse anything else at every start; refuse it here, once.
  set(host "([A-Za-z0-9-]+\\.)*[A-Za-z0-9-]+(:[0-9]+)?")
  if(NOT DESK_SERVER_ORIGIN MATCHES "^https://${host}/?$" AND
     NOT DESK_SERVER_ORIGIN MATCHES "^http://(localhost|127\\.0\\.0\\.1|\\[::1\\])(:[0-9]+)?/?$")
    message(FATAL_ERROR "DESK_SERVER_ORIGIN must be https://HOST[:PORT] (or http:// on localhost), "
                        "not \"${DESK_SERVER_ORIGIN}\"")
  endif()
  file(CONFIGURE OUTPUT ${dir}/server.json CONTENT "{\"server\":\"${DESK_SERVER_ORIGIN}\"}\n")
  set(${var} ${dir}/server.json PARENT_SCOPE)
endfunction()
