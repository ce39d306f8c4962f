# lanchat_check_layers(): the libraries' links run one way, each library
# linking only those of a lower layer (app -> ui -> net -> platform ->
# desktop and history, beside each other -> text, chat, config; netcore and
# classes beside those);
# the network's core and the component classes link no Qt, and the endpoint
# (net) Qt Core alone, no widgets. Checked at configure time, from the
# targets' own links.
function(lanchat_check_layers)
  set(layers config:0 options:0 classes:1 netcore:1 text:1 textqt:2 chat:2 history:3 desktop:3
      platform:4 net:5 ui:6)
  foreach(entry IN LISTS layers)
    string(REPLACE ":" ";" pair "${entry}")
    list(GET pair 0 name)
    list(GET pair 1 level)
    set(level_${name} ${level})
  endforeach()
  foreach(entry IN LISTS layers)
    string(REPLACE ":" ";" pair "${entry}")
    list(GET pair 0 name)
    if(NOT TARGET lanchat_${name})
      continue()
    endif()
    get_target_property(type lanchat_${name} TYPE)
    set(links "")
    if(NOT type STREQUAL "INTERFACE_LIBRARY")
      get_target_property(links lanchat_${name} LINK_LIBRARIES)
    endif()
    get_target_property(interface lanchat_${name} INTERFACE_LINK_LIBRARIES)
    foreach(link IN LISTS links interface)
      if(link MATCHES "^lanchat::(.+)$")
        set(other ${CMAKE_MATCH_1})
        if(NOT DEFINED level_${other})
          message(FATAL_ERROR "lanchat_${name} links lanchat::${other}, which has no layer")
        endif()
        if(NOT other STREQUAL "options" AND NOT level_${other} LESS level_${name})
          message(FATAL_ERROR "lanchat_${name} links lanchat::${other}: links run one way "
                              "(app -> ui -> net -> platform -> desktop and history -> text, chat, config)")
        endif()
      elseif(name MATCHES "^(netcore|classes|text)$" AND link MATCHES "Qt")
        message(FATAL_ERROR "lanchat_${name} links ${link}: it links no Qt")
      elseif(name STREQUAL "net" AND link MATCHES "Qt" AND NOT link MATCHES "Qt6::Core>?$")
        message(FATAL_ERROR "lanchat_net links ${link}: the endpoint needs Qt's event loop alone")
      endif()
    endforeach()
  endforeach()
endfunction()
