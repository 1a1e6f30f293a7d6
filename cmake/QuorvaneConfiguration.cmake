# The programs' shipped configuration files. A system package (QUORVANE_SYSTEM_CONFIG_DIR, such
# as /etc/quorvane) installs them there as the package's configuration files, which the package
# manager keeps over upgrades when an administrator changed them, and puts a link in the program
# folder where the programs read them. A tree from source keeps them in the program folder.
set(QUORVANE_SYSTEM_CONFIG_DIR "" CACHE PATH "Install the configuration files here, linked from the program folders")

function(quorvane_install_configuration file destination)
  get_filename_component(_name "${file}" NAME)
  if(NOT QUORVANE_SYSTEM_CONFIG_DIR)
    install(FILES "${file}" DESTINATION "${destination}")
    return()
  endif()
  install(FILES "${file}" DESTINATION "${QUORVANE_SYSTEM_CONFIG_DIR}")
  install(CODE "
    set(_link \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${destination}/${_name}\")
    file(MAKE_DIRECTORY \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${destination}\")
    file(CREATE_LINK \"${QUORVANE_SYSTEM_CONFIG_DIR}/${_name}\" \"\${_link}\" SYMBOLIC)
    message(STATUS \"Installing: \${_link} -> ${QUORVANE_SYSTEM_CONFIG_DIR}/${_name}\")
  ")
  set_property(GLOBAL APPEND PROPERTY QUORVANE_CONFFILES "${QUORVANE_SYSTEM_CONFIG_DIR}/${_name}")
endfunction()
