# A library's include root is a folder of the build tree that holds only that
# library's own source folder (linked, not copied), so it exposes its own
# headers and a library cannot include a header of one above it by accident:
# it sees only what it links. Programs, tests, benchmarks and fuzz targets sit
# on top and keep the whole tree as their root.
#   movrek_header_root(<target> <folder relative to the source root>)
function(movrek_header_root target folder)
  set(root "${PROJECT_BINARY_DIR}/header_roots/${target}")
  get_filename_component(parent "${root}/${folder}" DIRECTORY)
  # A build tree from before a library's folder moved down a level holds a
  # link where the folder's parent now goes: the link goes, not what it
  # points to.
  if(IS_SYMLINK "${parent}")
    file(REMOVE "${parent}")
  endif()
  file(MAKE_DIRECTORY "${parent}")
  file(CREATE_LINK "${PROJECT_SOURCE_DIR}/${folder}" "${root}/${folder}" SYMBOLIC)
  target_include_directories(${target} PUBLIC "${root}")
endfunction()
