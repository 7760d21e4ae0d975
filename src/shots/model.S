/* The networks of the shot decision, built into the program: the decision's
   (models/holes.onnx) and the first look's (models/screen.onnx). */
  .section .rodata
  .balign 16
  .global holescan_holes_model
holescan_holes_model:
  .incbin HOLESCAN_MODEL_FILE
  .global holescan_holes_model_end
holescan_holes_model_end:
  .balign 16
  .global holescan_screen_model
holescan_screen_model:
  .incbin HOLESCAN_SCREEN_FILE
  .global holescan_screen_model_end
holescan_screen_model_end:
  .section .note.GNU-stack,"",@progbits
