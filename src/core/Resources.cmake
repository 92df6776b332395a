# Compiles the files under resources/ into qm_core as byte arrays (EmbeddedResources.h): each file's
# base name is its resource name. The table is regenerated whenever a resource file changes.
file(GLOB QM_CORE_RESOURCE_FILES CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/resources/*)
set(QM_CORE_RESOURCES_CPP ${CMAKE_CURRENT_BINARY_DIR}/EmbeddedResources.cpp)
string(REPLACE ";" "|" QM_CORE_RESOURCE_LIST "${QM_CORE_RESOURCE_FILES}")
add_custom_command(
  OUTPUT ${QM_CORE_RESOURCES_CPP}
  COMMAND ${CMAKE_COMMAND} "-DQM_RESOURCES=${QM_CORE_RESOURCE_LIST}" -DQM_OUTPUT=${QM_CORE_RESOURCES_CPP}
          -P ${PROJECT_SOURCE_DIR}/cmake/EmbedResources.cmake
  DEPENDS ${QM_CORE_RESOURCE_FILES} ${PROJECT_SOURCE_DIR}/cmake/EmbedResources.cmake
  COMMENT "Embedding the resources of qm_core"
  VERBATIM)
target_sources(qm_core PRIVATE ${QM_CORE_RESOURCES_CPP})
