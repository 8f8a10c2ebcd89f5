# The bundle is an install prefix. The build stages the same layout in
# ${VELLUMOR_STAGE} so every program runs from the build tree without installing.
include(GNUInstallDirs)
set(VELLUMOR_STAGE "${CMAKE_BINARY_DIR}/stage" CACHE INTERNAL "staged bundle prefix")
set(VELLUMOR_LIBEXEC_SUBDIR "libexec/vellumor")
set(VELLUMOR_DATA_SUBDIR "share/vellumor")

# vellumor_bundle_program(<target> BIN|LIBEXEC): stage and install an executable.
function(vellumor_bundle_program target kind)
    if(kind STREQUAL "BIN")
        set(subdir "bin")
    elseif(kind STREQUAL "LIBEXEC")
        set(subdir "${VELLUMOR_LIBEXEC_SUBDIR}")
    else()
        message(FATAL_ERROR "vellumor_bundle_program: unknown kind ${kind}")
    endif()
    set_target_properties(${target} PROPERTIES RUNTIME_OUTPUT_DIRECTORY "${VELLUMOR_STAGE}/${subdir}")
    install(TARGETS ${target} RUNTIME DESTINATION "${subdir}")
endfunction()

# vellumor_bundle_data(<file> [<subdir>]): copy a data file into share/vellumor.
function(vellumor_bundle_data file)
    set(subdir "${VELLUMOR_DATA_SUBDIR}")
    if(ARGC GREATER 1)
        set(subdir "${ARGV1}")
    endif()
    get_filename_component(name "${file}" NAME)
    configure_file("${file}" "${VELLUMOR_STAGE}/${subdir}/${name}" COPYONLY)
    install(FILES "${file}" DESTINATION "${subdir}")
endfunction()
