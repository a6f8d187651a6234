# Runs org.quorvel.QuorvelCheck in a JVM whose standard output goes to a file,
# so that the check can compare what the native code printed with what it
# returned. Variables: JAVA, CLASSPATH, LIBRARY, NETWORK, WORK_DIR, MODE, and
# SHARED_DIR, where a published model is taken from when it is there. The
# JVM's heap is kept small, so that one analysis exhausts it.
file(REMOVE_RECURSE ${WORK_DIR})
file(MAKE_DIRECTORY ${WORK_DIR})
# The file ends in the middle of rule 2: after its regulators and arrow.
file(WRITE ${WORK_DIR}/truncated.net "A -> B\nB&^A ->")
# The toggle switch as .bnet and as SBML-qual, and a .bnet file whose line 2
# has no expression.
file(WRITE ${WORK_DIR}/toggle.bnet "targets, factors\nA, !B\nB, !A\n")
file(WRITE ${WORK_DIR}/bad.bnet "A, !B\nB,\n")
set(notEq "<apply><eq/><ci>X</ci><cn type=\"integer\">0</cn></apply>")
set(transition "<qual:transition qual:id=\"tY\"><qual:listOfInputs><qual:input qual:id=\"iX\" qual:qualitativeSpecies=\"X\" qual:transitionEffect=\"none\"/></qual:listOfInputs><qual:listOfOutputs><qual:output qual:id=\"oY\" qual:qualitativeSpecies=\"Y\" qual:transitionEffect=\"assignmentLevel\"/></qual:listOfOutputs><qual:listOfFunctionTerms><qual:defaultTerm qual:resultLevel=\"0\"/><qual:functionTerm qual:resultLevel=\"1\"><math xmlns=\"http://www.w3.org/1998/Math/MathML\">${notEq}</math></qual:functionTerm></qual:listOfFunctionTerms></qual:transition>")
string(REPLACE "X" "B" toA "${transition}")
string(REPLACE "Y" "A" toA "${toA}")
string(REPLACE "X" "A" toB "${transition}")
string(REPLACE "Y" "B" toB "${toB}")
file(WRITE ${WORK_DIR}/toggle.sbml "<?xml version=\"1.0\" encoding=\"UTF-8\"?>
<sbml xmlns=\"http://www.sbml.org/sbml/level3/version1/core\" level=\"3\" version=\"1\" xmlns:qual=\"http://www.sbml.org/sbml/level3/version1/qual/version1\" qual:required=\"true\">
<model id=\"toggle\"><listOfCompartments><compartment id=\"c\" constant=\"true\"/></listOfCompartments>
<qual:listOfQualitativeSpecies><qual:qualitativeSpecies qual:id=\"A\" qual:compartment=\"c\" qual:constant=\"false\" qual:maxLevel=\"1\"/><qual:qualitativeSpecies qual:id=\"B\" qual:compartment=\"c\" qual:constant=\"false\" qual:maxLevel=\"1\"/></qual:listOfQualitativeSpecies>
<qual:listOfTransitions>${toA}${toB}</qual:listOfTransitions>
</model></sbml>
")
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
