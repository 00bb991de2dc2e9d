# SPDX-License-Identifier: GPL-3.0-or-later
# Platform code sits in files of its own beside the neutral header it implements:
# Name.h + NamePosix.cpp + NameWin32.cpp. This keeps the files of the platform being built.
function(kavri_select_platform_sources list_var)
  set(sources ${${list_var}})
  if(WIN32)
    list(FILTER sources EXCLUDE REGEX "Posix\\.cpp$")
  else()
    list(FILTER sources EXCLUDE REGEX "Win32\\.cpp$")
  endif()
  set(${list_var} ${sources} PARENT_SCOPE)
endfunction()
