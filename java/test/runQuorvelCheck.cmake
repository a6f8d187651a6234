# Runs org.quorvel.QuorvelCheck in a JVM whose standard output goes to a file,
# so that the check can compare what the native code printed with what it
# returned. Variables: JAVA, CLASSPATH, LIBRARY, NETWORK, WORK_DIR, MODE, and
# SHARED_DIR, where a published model is taken from when it is there. The
# JVM's heap is kept small, so that one analysis exhausts it.
file(REMOVE_RECURSE ${WORK_DIR})
file(MAKE_DIRECTORY ${WORK_DIR})
# The file ends in the middle of rule 2: after its regulators and arrow.
file(WRITE ${WORK_DIR}/truncated.net "A -> B\nB&^A ->")
# One attractor of 2^19 states over 19 genes: a result text of 40 MB, more
# than the JVM's heap (-Xmx32m below) can take as a Java string.
set(selfNegating "")
foreach(i RANGE 18)
  string(APPEND selfNegating "^G${i} -> G${i}\n")
endforeach()
file(WRITE ${WORK_DIR}/selfNegating19.net "${selfNegating}")
set(stdoutFile ${WORK_DIR}/stdout.txt)
set(realNetwork "")
if(MODE STREQUAL "full" AND EXISTS ${SHARED_DIR}/networks/models/bbm-007.net)
  # 5 rules over 5 genes.
  set(realNetwork ${SHARED_DIR}/networks/models/bbm-007.net 5 5)
endif()
execute_process(
  COMMAND ${JAVA} -Xcheck:jni -Xmx32m -Dquorvel.library=${LIBRARY}
          -Dquorvel.check.tooLarge=${WORK_DIR}/selfNegating19.net -cp ${CLASSPATH}
          org.quorvel.QuorvelCheck ${stdoutFile} ${NETWORK}
          ${WORK_DIR}/no-such-network.net ${WORK_DIR}/truncated.net ${MODE}
          ${realNetwork}
  OUTPUT_FILE ${stdoutFile}
  RESULT_VARIABLE status)
if(NOT status STREQUAL "0")
  file(READ ${stdoutFile} printed)
  message(FATAL_ERROR "QuorvelCheck failed (${status}); standard output of the JVM:\n${printed}")
endif()
