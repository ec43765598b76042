# Tessaline's Windows side: the socket connection with its worker thread,
# TLS over Schannel, the download job and the path helpers.
mw_add_library(tessaline_net
  SOURCES
    path_helpers.cpp
    socket_connection.cpp
    download_job.cpp
    download_job_transfer.cpp
    download_job_file.cpp
    download_job_link.cpp
    download_job_segments.cpp
    segment_files.cpp
    rate_limit.cpp
    code_page_text.cpp
    file_name_claims.cpp
    tls_session.cpp
    tls_certificate.cpp
  LIBS tessaline_http ws2_32 secur32 crypt32)
