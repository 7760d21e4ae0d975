/* The shot decision's network (models/holes.onnx), built into the program. */
  .section .rodata
  .balign 16
  .global holescan_holes_model
holescan_holes_model:
  .incbin HOLESCAN_MODEL_FILE
  .global holescan_holes_model_end
holescan_holes_model_end:
  .section .note.GNU-stack,"",@progbits
