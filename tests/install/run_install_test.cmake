file(REMOVE_RECURSE ${PREFIX} ${WORK})
execute_process(COMMAND ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${PREFIX}
  RESULT_VARIABLE rc)
if(rc)
  message(FATAL_ERROR "install failed: ${rc}")
endif()
# Only the public API is installed: internal headers and test hooks stay in the tree.
foreach(internal sigilbox/engines/huge_digit_kernels.h sigilbox/pki/structure_view.h
        sigilbox/pki/signature_support.h framework/testing_hooks.h)
  if(EXISTS ${PREFIX}/include/${internal})
    message(FATAL_ERROR "internal header installed: ${internal}")
  endif()
endforeach()
foreach(public sigilbox/sigilbox.h sigilbox/sigilbox_export.h framework/framework_export.h)
  if(NOT EXISTS ${PREFIX}/include/${public})
    message(FATAL_ERROR "public header not installed: ${public}")
  endif()
endforeach()

execute_process(COMMAND ${CMAKE_COMMAND} -S ${CONSUMER_SRC} -B ${WORK}/cmake -G ${GENERATOR}
    -DCMAKE_PREFIX_PATH=${PREFIX} -DCMAKE_CXX_COMPILER=${CXX} -DCMAKE_BUILD_TYPE=Release
    "-DCMAKE_CXX_FLAGS=${CONSUMER_FLAGS}" "-DCMAKE_EXE_LINKER_FLAGS=${CONSUMER_FLAGS}"
  RESULT_VARIABLE rc)
if(rc)
  message(FATAL_ERROR "configuring the consumer failed: ${rc}")
endif()
execute_process(COMMAND ${CMAKE_COMMAND} --build ${WORK}/cmake RESULT_VARIABLE rc)
if(rc)
  message(FATAL_ERROR "building the consumer failed: ${rc}")
endif()
execute_process(COMMAND ${WORK}/cmake/consumer RESULT_VARIABLE rc OUTPUT_VARIABLE out)
if(NOT rc EQUAL 0 OR NOT out MATCHES "consumer ok")
  message(FATAL_ERROR "consumer (CMake package) failed: ${rc} ${out}")
endif()

# The same program through pkg-config.
find_program(PKG_CONFIG pkg-config pkgconf)
if(PKG_CONFIG)
  set(ENV{PKG_CONFIG_PATH} ${PREFIX}/lib/pkgconfig:${PREFIX}/lib64/pkgconfig)
  execute_process(COMMAND ${PKG_CONFIG} --cflags --libs sigilbox
    OUTPUT_VARIABLE flags RESULT_VARIABLE rc OUTPUT_STRIP_TRAILING_WHITESPACE)
  if(rc)
    message(FATAL_ERROR "pkg-config does not know sigilbox")
  endif()
  separate_arguments(flags UNIX_COMMAND "${CONSUMER_FLAGS} ${flags}")
  execute_process(COMMAND ${CXX} ${CONSUMER_SRC}/main.cpp -o ${WORK}/pc_consumer ${flags}
    RESULT_VARIABLE rc ERROR_VARIABLE err)
  if(rc)
    message(FATAL_ERROR "building the consumer with pkg-config failed: ${err}")
  endif()
  execute_process(COMMAND ${WORK}/pc_consumer RESULT_VARIABLE rc OUTPUT_VARIABLE out)
  if(NOT rc EQUAL 0 OR NOT out MATCHES "consumer ok")
    message(FATAL_ERROR "consumer (pkg-config) failed: ${rc} ${out}")
  endif()
endif()
