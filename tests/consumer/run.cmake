# Installs the build in BUILD_DIR into a staging prefix, then configures,
# builds and runs the consumer project against that installed copy.
#   cmake -DBUILD_DIR=<build> -DSOURCE_DIR=<consumer sources> -P run.cmake
set(stage ${BUILD_DIR}/stage)
set(consumer ${BUILD_DIR}/consumer)
file(REMOVE_RECURSE ${stage} ${consumer})

function(run)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE result)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "failed (${result}): ${ARGN}")
  endif()
endfunction()

run(${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${stage})
run(${CMAKE_COMMAND} -S ${SOURCE_DIR} -B ${consumer} -G Ninja -DCMAKE_BUILD_TYPE=Release
    -DCMAKE_PREFIX_PATH=${stage})
run(${CMAKE_COMMAND} --build ${consumer})
run(${consumer}/consumer)
