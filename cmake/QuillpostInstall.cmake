# Where the programs are installed. A plain "cmake --install" puts them in <prefix>/lib/quillpost;
# the Debian package (install component "deb", left out of a plain install) in /opt/quillpost. Both
# are folders that "quillpost -bootstrap" looks in. The commands on the PATH are links to them.
set(QP_PROGRAM_DIR lib/quillpost)
set(QP_PACKAGE_PROGRAM_DIR /opt/quillpost)

# A link <prefix>/<link_dir>/<name> to <target_dir>/<name>, made at install time so that it follows
# the prefix and DESTDIR of that install.
function(qp_install_link name target_dir link_dir component)
    set(exclude "")
    if(NOT component STREQUAL "local")
        set(exclude EXCLUDE_FROM_ALL)
    endif()
    install(CODE "
        set(qp_link_dir \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${link_dir}\")
        file(MAKE_DIRECTORY \"\${qp_link_dir}\")
        message(STATUS \"Installing: \${qp_link_dir}/${name}\")
        file(CREATE_LINK \"${target_dir}/${name}\" \"\${qp_link_dir}/${name}\" SYMBOLIC)
    " COMPONENT ${component} ${exclude})
endfunction()

# Installs a program in both layouts, with its command in `link_dir` (bin or sbin).
function(qp_install_program target link_dir)
    install(TARGETS ${target} RUNTIME DESTINATION ${QP_PROGRAM_DIR} COMPONENT local)
    qp_install_link("$<TARGET_FILE_NAME:${target}>" "\${CMAKE_INSTALL_PREFIX}/${QP_PROGRAM_DIR}"
                    ${link_dir} local)
    install(TARGETS ${target} RUNTIME DESTINATION ${QP_PACKAGE_PROGRAM_DIR}
            COMPONENT deb EXCLUDE_FROM_ALL)
    qp_install_link("$<TARGET_FILE_NAME:${target}>" ${QP_PACKAGE_PROGRAM_DIR} ${link_dir} deb)
endfunction()

# Compresses `source` into <build>/<subdir>/<name>.gz the way Debian wants documents compressed
# (best compression, no name or time stamp inside); sets `out_var` to that file. A target that
# depends on it makes it.
function(qp_gzip source subdir out_var)
    get_filename_component(name ${source} NAME)
    set(copy ${PROJECT_BINARY_DIR}/${subdir}/${name})
    add_custom_command(
        OUTPUT ${copy}.gz
        COMMAND ${CMAKE_COMMAND} -E copy ${source} ${copy}
        COMMAND gzip -9nf ${copy}
        DEPENDS ${source}
        VERBATIM)
    set(${out_var} ${copy}.gz PARENT_SCOPE)
endfunction()
