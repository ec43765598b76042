# Tessaline's HTTP message layer: URLs, the exchange record, request
# composition, response reading, the names servers suggest, HTTP dates, the proxy
# tunnel's messages, the bookkeeping of received TLS records, the failure
# reasons, the segments of a download and the speed limit's bucket. No platform calls.
mw_add_library(tessaline_http PLATFORM_FREE
  SOURCES
    url.cpp
    http_exchange.cpp
    base64.cpp
    request.cpp
    http_date.cpp
    response.cpp
    response_headers.cpp
    chunked_body.cpp
    name_cut.cpp
    decimal.cpp
    received_name.cpp
    proxy_tunnel.cpp
    tls_input.cpp
    job_failure.cpp
    segment_plan.cpp
    token_bucket.cpp
  LIBS common_text)
