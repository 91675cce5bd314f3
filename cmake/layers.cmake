# Layers the build enforces. A layer's headers are seen only through an include folder of its own in the build
# tree, which holds one link to the layer's source folder (or header): `layers/vw_files/files -> src/files`.
# A library adds its own folder to its include path and gets those of the libraries it links, so it sees the
# headers of the layers below it and no others: an include of a layer above fails with "No such file".
#
# vw_layer_headers(target PUBLIC|INTERFACE path...)   paths below src/, e.g. files or platform/platform.h
function(vw_layer_headers target scope)
  set(root ${CMAKE_BINARY_DIR}/layers/${target})
  foreach(path IN LISTS ARGN)
    get_filename_component(parent ${root}/${path} DIRECTORY)
    file(MAKE_DIRECTORY ${parent})
    file(CREATE_LINK ${PROJECT_SOURCE_DIR}/src/${path} ${root}/${path} SYMBOLIC)
  endforeach()
  target_include_directories(${target} ${scope} ${root})
endfunction()
