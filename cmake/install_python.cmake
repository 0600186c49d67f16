# Puts the kova module where the install prefix's Python finds it, worked out
# when installing, since `cmake --install --prefix` may change the prefix:
#   /usr          lib/python3/dist-packages      (Debian's packages, the .deb)
#   /usr/local    lib/python3.X/dist-packages    (Debian's local installs)
#   ~/.local      lib/python3.X/site-packages    (the user's site)
#   anything else lib/python3.X/site-packages    (on PYTHONPATH)
# Set by the caller: KOVA_MODULE (the built file), KOVA_PYTHON_VERSION (3.X).
cmake_path(SET PREFIX NORMALIZE "${CMAKE_INSTALL_PREFIX}/")
if(PREFIX STREQUAL "/usr/")
  set(DIR lib/python3/dist-packages)
elseif(PREFIX STREQUAL "/usr/local/")
  set(DIR lib/python${KOVA_PYTHON_VERSION}/dist-packages)
else()
  set(DIR lib/python${KOVA_PYTHON_VERSION}/site-packages)
endif()
file(INSTALL "${KOVA_MODULE}" DESTINATION "${CMAKE_INSTALL_PREFIX}/${DIR}")
