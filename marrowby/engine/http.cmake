# Tessaline's HTTP message layer: URLs, the exchange record, request
# composition, response reading and HTTP dates. No platform calls.
mw_add_library(tessaline_http PLATFORM_FREE
  SOURCES
    url.cpp
    http_exchange.cpp
    base64.cpp
    request.cpp
    http_date.cpp
    response.cpp
    response_headers.cpp
    decimal.cpp)
