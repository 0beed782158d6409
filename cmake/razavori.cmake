# Helpers shared by every folder's CMakeLists.

# Add every existing sub-folder (in the order given) that has a CMakeLists.
function(razavori_add_subdirs)
  foreach(dir ${ARGN})
    if(EXISTS ${CMAKE_CURRENT_SOURCE_DIR}/${dir}/CMakeLists.txt)
      add_subdirectory(${dir})
    endif()
  endforeach()
endfunction()

# Where the generated test streams and their ffmpeg references live.
set(RAZAVORI_TEST_MEDIA_DIR ${CMAKE_BINARY_DIR}/test-media CACHE INTERNAL "")

# razavori_add_test(NAME name COMMAND cmd... [MEDIA] [LABELS l...] [TIMEOUT s])
# Registers a test that runs headless: dummy SDL drivers, offscreen Qt and a
# private settings folder. MEDIA makes it wait for the generated test streams.
function(razavori_add_test)
  cmake_parse_arguments(T "MEDIA" "NAME;TIMEOUT" "COMMAND;LABELS" ${ARGN})
  add_test(NAME ${T_NAME} COMMAND ${T_COMMAND})
  set(home ${CMAKE_BINARY_DIR}/test-home/${T_NAME})
  file(MAKE_DIRECTORY ${home})
  set_tests_properties(${T_NAME} PROPERTIES ENVIRONMENT
    "SDL_AUDIODRIVER=dummy;SDL_VIDEODRIVER=dummy;QT_QPA_PLATFORM=offscreen;RAZAVORI_HOME=${home};RAZAVORI_TEST_MEDIA=${RAZAVORI_TEST_MEDIA_DIR};RAZAVORI_SOURCE_DIR=${CMAKE_SOURCE_DIR};RAZAVORI_BINARY_DIR=${CMAKE_BINARY_DIR}")
  if(T_MEDIA)
    set_tests_properties(${T_NAME} PROPERTIES FIXTURES_REQUIRED test_media)
  endif()
  if(T_LABELS)
    set_tests_properties(${T_NAME} PROPERTIES LABELS "${T_LABELS}")
  endif()
  if(T_TIMEOUT)
    set_tests_properties(${T_NAME} PROPERTIES TIMEOUT ${T_TIMEOUT})
  else()
    set_tests_properties(${T_NAME} PROPERTIES TIMEOUT 600)
  endif()
endfunction()

# razavori_gtest(name SOURCES... LIBS ... [MEDIA])
# One GoogleTest binary registered as one ctest test, linked with the test
# support library (whose main() sets up the headless environment too).
function(razavori_gtest name)
  cmake_parse_arguments(G "MEDIA" "TIMEOUT" "SOURCES;LIBS;LABELS" ${ARGN})
  add_executable(${name} ${G_SOURCES})
  target_link_libraries(${name} PRIVATE razavori_test_support ${G_LIBS})
  set(extra)
  if(G_MEDIA)
    list(APPEND extra MEDIA)
  endif()
  if(G_TIMEOUT)
    list(APPEND extra TIMEOUT ${G_TIMEOUT})
  endif()
  if(G_LABELS)
    list(APPEND extra LABELS ${G_LABELS})
  endif()
  razavori_add_test(NAME ${name} COMMAND ${name} ${extra})
endfunction()

# Add every direct sub-folder that has a CMakeLists, in name order. Used by
# folders whose children belong to different owners (tests/<lib>, bench,
# fuzz), so adding a child needs no edit here. Names given are skipped
# (already added by the caller).
function(razavori_add_all_subdirs)
  set(skip ${ARGN})
  file(GLOB children LIST_DIRECTORIES true RELATIVE ${CMAKE_CURRENT_SOURCE_DIR} ${CMAKE_CURRENT_SOURCE_DIR}/*)
  list(SORT children)
  foreach(dir ${children})
    if(dir IN_LIST skip)
      continue()
    endif()
    if(IS_DIRECTORY ${CMAKE_CURRENT_SOURCE_DIR}/${dir} AND EXISTS ${CMAKE_CURRENT_SOURCE_DIR}/${dir}/CMakeLists.txt)
      add_subdirectory(${dir})
    endif()
  endforeach()
endfunction()
