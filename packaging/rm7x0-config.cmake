# find_package(rm7x0 CONFIG): the motion library of each card model as an
# imported target, rm7x0::rm720 (model A) and rm7x0::rm730 (model B), with the
# folder of the public headers.
include(${CMAKE_CURRENT_LIST_DIR}/rm7x0-targets.cmake)
