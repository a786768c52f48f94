cmake_minimum_required(VERSION 3.25)

# Run with cmake -DSOURCE_DIR=... -P CheckLayering.cmake: fails when a source file of the
# program includes a header of a folder above its own. app/ uses scene/ and probe/; scene/ may
# use probe/ (a frame binds the rendering context through it); all of them use common/; nothing
# points back up.
set(allowed_common common)
set(allowed_probe common probe)
set(allowed_scene common probe scene)
set(allowed_app common probe scene app)

set(offences "")
foreach(folder common probe scene app)
  file(GLOB sources RELATIVE ${SOURCE_DIR} ${SOURCE_DIR}/${folder}/*.h ${SOURCE_DIR}/${folder}/*.cpp
       ${SOURCE_DIR}/${folder}/*.in ${SOURCE_DIR}/${folder}/*.rc)
  foreach(source IN LISTS sources)
    file(STRINGS ${SOURCE_DIR}/${source} includes REGEX "^[ \t]*#[ \t]*include[ \t]*\"(common|probe|scene|app)/")
    foreach(line IN LISTS includes)
      string(REGEX REPLACE "^[ \t]*#[ \t]*include[ \t]*\"([a-z]+)/.*$" "\\1" target_folder "${line}")
      if(NOT target_folder IN_LIST allowed_${folder})
        string(STRIP "${line}" line)
        list(JOIN allowed_${folder} "/, " allowed)
        string(APPEND offences "  ${source}: ${line}: ${folder}/ may include only ${allowed}/\n")
      endif()
    endforeach()
  endforeach()
endforeach()
if(offences)
  message(FATAL_ERROR "An include points back up the layers:\n${offences}")
endif()
