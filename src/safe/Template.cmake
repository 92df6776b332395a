# The template Safe: qm_make_template draws it from the icons and the template content, and its bytes
# are compiled into qm_safe (see CMakeLists.txt for why this is a library of its own).
set(QM_TEMPLATE_DIR ${PROJECT_BINARY_DIR}/template)
set(QM_TEMPLATE_CPP ${QM_TEMPLATE_DIR}/TemplateSafeImage.cpp)
set(QM_TEMPLATE_SAFE ${QM_TEMPLATE_DIR}/SAFE_DEMO.qvt)
add_custom_command(
  OUTPUT ${QM_TEMPLATE_CPP} ${QM_TEMPLATE_SAFE}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${QM_TEMPLATE_DIR}
  COMMAND qm_make_template ${PROJECT_BINARY_DIR}/icons ${QM_TEMPLATE_SAFE} ${QM_TEMPLATE_CPP}
  DEPENDS qm_make_template qm_icons ${PROJECT_BINARY_DIR}/icons/icons.txt
  COMMENT "Making the template Safe ${QM_TEMPLATE_SAFE}"
  VERBATIM)

qm_add_library(qm_safe SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/template/CreateSafe.cpp ${QM_TEMPLATE_CPP}
               DEPS qm_safe_layout)
