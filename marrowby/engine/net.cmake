# Tessaline's Windows side: the socket connection with its worker thread,
# the download job and the path helpers.
mw_add_library(tessaline_net
  SOURCES
    path_helpers.cpp
    socket_connection.cpp
    download_job.cpp
    download_job_transfer.cpp
    download_job_file.cpp
  LIBS tessaline_http ws2_32)
