# The relay's Qt front end: a library, so that tests link the same code the
# program runs, and the program itself.
add_library(relvane_window STATIC
  QtWindowOperations.cpp
  QtWindowOperations.h
  UiThreadInvoker.cpp
  UiThreadInvoker.h
  Un_Proxy.cpp
  Un_Proxy.h
)
target_link_libraries(relvane_window PUBLIC relvane_engine Qt6::Widgets)
relvane_warnings(relvane_window)

add_executable(relvane main.cpp)
target_link_libraries(relvane PRIVATE relvane_window)
relvane_warnings(relvane)
