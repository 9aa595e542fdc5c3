# The end-to-end worker tests start the simulated Outlook.
add_dependencies(${target} outlook_sim)
