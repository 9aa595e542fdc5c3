# The server tests load and register build/bin/Vantrel.dll, which must be built first.
add_dependencies(${target} Vantrel)
add_dependencies(${target} outlook_sim)
