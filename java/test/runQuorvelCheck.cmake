# Runs org.quorvel.QuorvelCheck in a JVM whose standard output goes to a file,
# so that the check can compare what the native code printed with what it
# returned. Variables: JAVA, CLASSPATH, LIBRARY, NETWORK, WORK_DIR, MODE.
file(REMOVE_RECURSE ${WORK_DIR})
file(MAKE_DIRECTORY ${WORK_DIR})
# The file ends in the middle of rule 2: after its regulators and arrow.
file(WRITE ${WORK_DIR}/truncated.net "A -> B\nB&^A ->")
set(stdoutFile ${WORK_DIR}/stdout.txt)
execute_process(
  COMMAND ${JAVA} -Xcheck:jni -Dquorvel.library=${LIBRARY} -cp ${CLASSPATH}
          org.quorvel.QuorvelCheck ${stdoutFile} ${NETWORK}
          ${WORK_DIR}/no-such-network.net ${WORK_DIR}/truncated.net ${MODE}
  OUTPUT_FILE ${stdoutFile}
  RESULT_VARIABLE status)
if(NOT status STREQUAL "0")
  file(READ ${stdoutFile} printed)
  message(FATAL_ERROR "QuorvelCheck failed (${status}); standard output of the JVM:\n${printed}")
endif()
