# Warnings for the project's own targets. QM_WERROR (on in CI) turns every warning into an error.
option(QM_WERROR "Treat compiler warnings as errors" OFF)
function(qm_target_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wno-unused-parameter -Wshadow -Wnon-virtual-dtor
                                            -Woverloaded-virtual)
  if(QM_WERROR)
    target_compile_options(${target} PRIVATE -Werror)
  endif()
endfunction()

# qm_add_library(NAME SOURCES... [DEPS ...]): a static layer library with src/ as include root.
function(qm_add_library name)
  cmake_parse_arguments(ARG "" "" "SOURCES;DEPS" ${ARGN})
  add_library(${name} STATIC ${ARG_SOURCES})
  target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR}/src)
  target_link_libraries(${name} PUBLIC ${ARG_DEPS})
  qm_target_warnings(${name})
endfunction()

# qm_add_test(NAME SOURCES... [DEPS ...] [LABELS ...]): one GoogleTest program registered with CTest.
function(qm_add_test name)
  cmake_parse_arguments(ARG "" "TIMEOUT" "SOURCES;DEPS;LABELS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_DEPS} qm_testsupport GTest::gtest GTest::gmock GTest::gtest_main)
  qm_target_warnings(${name})
  add_test(NAME ${name} COMMAND ${name} --gtest_brief=1)
  if(NOT ARG_TIMEOUT)
    set(ARG_TIMEOUT 600)
  endif()
  # QUILLMAR_TEST_KDF_COST: new hardened Safes of the tests (and of the programs they run) get a tiny
  # key-derivation cost (64 KiB, 1 pass, 1 lane) instead of the calibrated half second; the tests of
  # the real cost turn it off for themselves.
  set_tests_properties(${name} PROPERTIES TIMEOUT ${ARG_TIMEOUT}
    ENVIRONMENT "QT_QPA_PLATFORM=offscreen;QUILLMAR_TEST_KDF_COST=64,1,1")
  if(ARG_LABELS)
    set_tests_properties(${name} PROPERTIES LABELS "${ARG_LABELS}")
  endif()
endfunction()

# qm_target_qt_pch(TARGET [GTEST]): the Qt headers nearly every window includes, precompiled once per
# target (a window's own code is a fraction of what the compiler reads for it). GTEST adds GoogleTest's.
option(QM_PCH "Precompile the Qt headers of the desktop's targets" ON)
function(qm_target_qt_pch target)
  if(NOT QM_PCH)
    return()
  endif()
  set(headers <QApplication> <QWidget> <QDialog> <QLabel> <QPushButton> <QLineEdit> <QVBoxLayout>
              <QHBoxLayout> <QGridLayout> <QAction> <QMenu> <QTimer> <QPointer> <QString> <QPainter>
              <QIcon> <QPixmap> <QTreeView> <QHeaderView> <QMessageBox> <QCheckBox> <QComboBox>
              <QPlainTextEdit> <QFileInfo> <QDir> <QKeyEvent> <string> <vector> <memory> <functional>)
  if("GTEST" IN_LIST ARGN)
    list(APPEND headers <gtest/gtest.h>)
  endif()
  target_precompile_headers(${target} PRIVATE ${headers})
  # ccache caches such compilations only when told the header is precompiled (its own configuration
  # must also allow it: sloppiness pch_defines,time_macros).
  if(CMAKE_CXX_COMPILER_LAUNCHER MATCHES "ccache" AND CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
    target_compile_options(${target} PRIVATE -fpch-preprocess)
  endif()
endfunction()
