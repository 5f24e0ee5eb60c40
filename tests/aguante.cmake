# The soak test: a minute of random arrow keys, then the closing pages.
# Labelled largo as well, so a quick run can leave it out (ctest -LE largo).
if(COMMAND prueba_e2e)
  prueba_e2e(aguante aguante.py)
  set_tests_properties(e2e_aguante PROPERTIES LABELS "e2e;largo" TIMEOUT 300)
endif()
