#pragma once
// The program's registration of the data-file views with the frame (views 317 and 318).

void RegisterDataFileViews();
